# Lines that portability.sh must refuse, each on its own (portability.sh --each-line checks that every
# line of code here is refused). Never run: these are what the bash of macOS (3.2) and its BSD tools
# would fail on, or worse, take for something else.
# shellcheck disable=all
declare -A seen
local -A table=()
typeset -gA cache
declare -n target=$1
local -n ref=value
declare -l lowered=$1
declare -u raised
declare -g shared=1
local -
unset -n ref
echo "${name^}"
echo "${name^^}" "${name,}" "${name,,x}"
echo ${list[0]^^}
echo "${name@Q}"
echo "${@@Q}" "${list[1]@E}"
echo "${list[-1]}"
echo "${#list[ -2]}"
list[-1]=last
echo "${name:0:-1}" "${name: -3:-1}"
mapfile -t lines < file
readarray lines < file
while :; do readarray -t x; done
command &>> log
make 2>&1 |& tee log
a) echo one ;&
b) echo two ;;&
coproc worker { cat; }
[[ -v name ]]
if [[ ! -v list[0] ]]; then :; fi
[ -v name ]
test -v name
[[ -R ref ]]
printf -v 'list[1]' '%s' x
printf -v list[1] '%s' x
printf '%(%Y-%m-%d)T\n' -1
printf 'now: %-10(%H:%M)T\n' -1
echo "$EPOCHSECONDS" $EPOCHREALTIME
echo ${BASHPID} $SRANDOM "${BASH_ARGV0}"
BASH_XTRACEFD=7
shopt -s globstar
shopt -s lastpipe
shopt -s inherit_errexit nullglob
read -r -i default -p 'name: ' name
read -N 4 block
read -r -t 0.5 answer
wait -n
wait -f "$pid"
for i in {1..10..2}; do :; done
echo {a..z..3}
echo {01..10}
exec {fd}>file
sed -i 's/a/b/' file
sed -i -e 's/a/b/' file
sed -ni 's/a/b/p' file
sed --in-place 's/a/b/' file
sed -r 's/(a)/\1/' file
sed -z 's/\n/,/g' file
sed --quiet -e p file
value=$(readlink -f "$0")
dir=$(dirname "$(readlink -e "$path")")
date -d '2025-03-01' +%s
date --date=yesterday
date +%s%N
date '+%s.%N'
stat -c %s file
stat -Lc '%a' file
stat --format=%s file
grep -P '\d+' file
grep -oP 'x' file
output=$("@MKTEMP@" --suffix .plist)
output=$(mktemp --tmpdir x.XXXXXX)
output=$(/usr/bin/mktemp -p /tmp x.XXXXXX)
sort -V versions
sort --version-sort -r versions
head -n -2 file
head -n-2 file
head -c -10 file
head --lines=-1 file
find . -name '*.sh' | xargs -r shellcheck
xargs -d '\n' rm < list
ln -rs target link
ln -sfT target link
cp -t dir file
mv -T from to
"@MV@" -t dir file
printf x | base64 -w 0
base64 --decode < file
find . -printf '%p\n'
find . -regextype posix-extended -regex '.*'
find . -executable -type f
sleep 1m
sleep 0.5s
timeout 5 command
tac file
sha256sum file
md5sum file
jobs=$(nproc)
stdbuf -oL command
