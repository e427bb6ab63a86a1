# Lines that portability.sh must refuse, each on its own (portability.sh --each-line checks that every
# line of code here is refused). Never run: these are what the bash of macOS (3.2) and its BSD tools
# would fail on, or worse, take for something else.
# shellcheck disable=all
declare -A seen
local -A table=()
typeset -gA cache
declare -n target=$1
declare -l lowered=$1
declare -g shared=1
local -
unset -n ref
echo "${name^^}" "${name,}" "${name,,x}"
echo ${list[0]^^}
echo "${name@Q}"
echo "${@@Q}" "${list[1]@E}"
echo "${list[-1]}"
list[-1]=last
echo "${name:0:-1}" "${name: -3:-1}"
mapfile -t lines < file
while :; do readarray -t x; done
command &>> log
make 2>&1 |& tee log
a) echo one ;&
coproc worker { cat; }
if [[ ! -v list[0] ]]; then :; fi
[ -v name ]
test -v name
[[ -R ref ]]
printf -v 'list[1]' '%s' x
printf 'now: %-10(%H:%M)T\n' -1
echo "$EPOCHSECONDS" $EPOCHREALTIME
echo ${BASHPID} $SRANDOM "${BASH_ARGV0}"
BASH_XTRACEFD=7
shopt -s globstar
shopt -s inherit_errexit nullglob
read -r -i default -p 'name: ' name
read -r -t 0.5 answer
wait -n
for i in {1..10..2}; do :; done
echo {a..z..3}
echo {01..10}
exec {fd}>file
sed -i 's/a/b/' file
sed -ni 's/a/b/p' file
sed --in-place 's/a/b/' file
sed -r 's/(a)/\1/' file
sed --quiet -e p file
value=$(readlink -f "$0")
date -d '2025-03-01' +%s
date --date=yesterday
date '+%s.%N'
stat -Lc '%a' file
stat --format=%s file
grep -oP 'x' file
output=$("@MKTEMP@" --suffix .plist)
output=$(/usr/bin/mktemp -p /tmp x.XXXXXX)
sort -V versions
sort --version-sort -r versions
head -n -2 file
head --lines=-1 file
find . -name '*.sh' | xargs -r shellcheck
ln -rs target link
cp -t dir file
"@MV@" -t dir file
printf x | base64 -w 0
base64 --decode < file
find . -printf '%p\n'
find . -executable -type f
sleep 0.5s
timeout 5 command
sha256sum file
jobs=$(nproc)
stdbuf -oL command
