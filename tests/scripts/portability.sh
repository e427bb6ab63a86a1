#!/usr/bin/env bash
# Refuses what the bash of macOS (3.2) and its BSD tools do not understand, in the script templates
# the application ships and in the simulated Mac's stand-in CLI resource script, which keeps the same
# rule: bash 4 and later constructs, GNU-only options of the tools the scripts call, and GNU tools
# macOS lacks. Reports FILE:LINE: CONSTRUCT and the line.
#
#   portability.sh [FILE...]          check the files (by default the shipped scripts); fails on any finding
#   portability.sh --each-line FILE   check that every line of code in FILE is refused (the self-test)
#
# Single-quoted strings, comments and the bodies of quoted here-documents are not code and are not
# looked at; the bodies of unquoted here-documents are, for their expansions.
# shellcheck disable=SC2016 # the patterns and the constructs' names hold "$" as it is
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The rules: where each applies, its pattern (POSIX extended) and what it refuses.
#   code       the line without single-quoted strings and comments
#   expansion  the same, and the lines of unquoted here-documents
#   quoted     the line with its quoted strings (formats handed to printf and date)
scopes=() patterns=() constructs=()
rule() { scopes+=("$1") patterns+=("$2") constructs+=("$3"); }

# Where a word starts, and a tool called there (also through the templates' @TOOL@ placeholders).
start='(^|[[:space:];&|(!`{])'
tool() { # name [options...]: the tool's name followed by an option among its other arguments
    local upper
    upper=$(printf '%s' "$1" | tr '[:lower:]' '[:upper:]')
    printf '(%s(/usr/bin/|/bin/)?%s|@%s@"?)[[:space:]]([^|;&)]*[[:space:]])?%s' "$start" "$1" "$upper" "$2"
}
var='[[:alpha:]_][[:alnum:]_]*'
name="(${var}|[@*])"
options='([[:space:]]+-[[:alnum:]]+)*[[:space:]]+-[[:alnum:]]*' # option words; the letter follows the last one
declaring="${start}(declare|typeset|local|readonly)${options}"

# bash 4 and later
rule code "${declaring}A" 'associative array (declare -A, bash 4)'
rule code "${declaring}n" 'name reference (declare -n, bash 4.3)'
rule code "${declaring}[lu]" 'case-changing attribute (declare -l / -u, bash 4)'
rule code "${start}(declare|typeset)${options}g" 'global declaration in a function (declare -g, bash 4.2)'
rule code "${start}local[[:space:]]+-([[:space:];]|$)" 'local options (local -, bash 4.4)'
rule code "${start}unset[[:space:]]+-[[:alnum:]]*n" 'unset of a name reference (unset -n, bash 4.3)'
rule expansion "\\\$\\{[#!]?${name}(\\[[^]]*\\])?(\\^|,|~)" 'case-changing expansion (${var^} ${var,,}, bash 4)'
rule expansion "\\\$\\{[#!]?${name}(\\[[^]]*\\])?@[[:alpha:]]\\}" 'transformation (${var@Q} and the like, bash 4.4)'
rule expansion "\\\$\\{#?${var}\\[[[:space:]]*-[[:space:]]*[0-9\$(]" 'negative array subscript (bash 4.3)'
rule code "${start}${var}\\[-[0-9]+\\]\\+?=" 'negative array subscript (bash 4.3)'
rule expansion '\$\{[[:alpha:]_][[:alnum:]_]*(\[[^]]*\])?:([[:space:]]+-)?[[:space:]]*[0-9$(][^}:]*:[[:space:]]*-' \
    'negative length in a substring (${var:0:-1}, bash 4.2)'
rule code "${start}(mapfile|readarray)([[:space:]]|$)" 'mapfile / readarray (bash 4)'
rule code '&>>' 'appending both streams (&>>, bash 4)'
rule code '\|&' 'piping both streams (|&, bash 4)'
rule code ';;?&' 'case fall-through (;& ;;&, bash 4)'
rule code "${start}coproc([[:space:]]|$)" 'coproc (bash 4)'
rule code "(\\[\\[?|${start}test)[[:space:]]+(![[:space:]]+)?-[vR][[:space:]]" 'variable test -v / -R (bash 4.2)'
rule quoted "${start}printf[[:space:]]+-v[[:space:]]+['\"]?${var}\\[" 'printf -v into an array element (bash 4.1)'
rule quoted "${start}printf[[:space:]].*%[-0-9]*\\([^)]*\\)T" 'printf time format %(...)T (bash 4.2)'
rule expansion '\$\{?(EPOCHSECONDS|EPOCHREALTIME|BASHPID|SRANDOM|BASH_ARGV0|BASH_XTRACEFD|COPROC)([^[:alnum:]_]|$)' \
    'variable of bash 4 or later'
rule code "${start}BASH_XTRACEFD=" 'variable of bash 4 or later'
rule code "${start}shopt[[:space:]]+-s[[:space:]].*(globstar|lastpipe|inherit_errexit|autocd|checkjobs|direxpand|dirspell|globasciiranges|assoc_expand_once|localvar_inherit|localvar_unset|patsub_replacement|compat[0-9]+)" \
    'shell option of bash 4 or later'
rule code "${start}read${options}[iN]" 'read -i / -N (bash 4)'
rule code "${start}read[[:space:]].*-t[[:space:]]*[0-9]*\\.[0-9]" 'read with a fractional time-out (bash 4)'
rule code "${start}wait[[:space:]]+-[[:alnum:]]*[nfp]" 'wait -n / -f / -p (bash 4.3 and later)'
rule code '\{-?[0-9]+\.\.-?[0-9]+\.\.-?[0-9]+\}|\{[[:alpha:]]\.\.[[:alpha:]]\.\.-?[0-9]+\}' \
    'brace expansion with a step (bash 4)'
rule code '\{-?0[0-9]+\.\.-?[0-9]+\}' 'zero-padded brace expansion (bash 4)'
rule code "\\{${var}\\}[<>]" 'file descriptor chosen by the shell ({fd}>, bash 4.1)'

# GNU-only options of tools that macOS has in their BSD form
rule code "$(tool sed '(-[[:alnum:]]*i([[:space:]]|$)|--in-place)')" \
    'sed -i without a suffix (BSD sed takes the next word as the suffix; write -i.bak)'
rule code "$(tool sed '(-[[:alnum:]]*[rz]([[:space:]]|$)|--[[:alpha:]])')" 'GNU sed option (-r, -z, --long; write -E)'
rule code "$(tool readlink '(-[[:alnum:]]*[fem]|--canonicalize)')" 'readlink -f / -e / -m (GNU)'
rule code "$(tool date '(-[[:alnum:]]*d|--date|--iso-8601|--rfc)')" 'date -d / --date (GNU; BSD date reads with -j -f)'
rule quoted "$(tool date '.*%N')" 'date %N (GNU; BSD date has no nanoseconds)'
rule code "$(tool stat '(-[[:alnum:]]*c|--format|--printf)')" 'stat -c (GNU; BSD stat formats with -f)'
rule code "$(tool grep '(-[[:alnum:]]*P|--perl-regexp)')" 'grep -P (GNU)'
rule code "$(tool mktemp '(-[[:alnum:]]*p|--[[:alpha:]])')" 'mktemp -p / --suffix / --tmpdir (GNU)'
rule code "$(tool sort '(-[[:alnum:]]*V|--version-sort)')" 'sort -V (GNU)'
rule code "$(tool head '((-[[:alnum:]]*[nc]|--lines=|--bytes=)[[:space:]]*-[0-9])')" 'head with a negative count (GNU)'
rule code "$(tool xargs '(-[[:alnum:]]*[rd]|--no-run-if-empty|--delimiter)')" 'xargs -r / -d (GNU)'
rule code "$(tool ln '-[[:alnum:]]*[rT]')" 'ln -r / -T (GNU)'
rule code "$(tool cp '(-[[:alnum:]]*[tT]|--target-directory|--no-target-directory)')" 'cp -t / -T (GNU)'
rule code "$(tool mv '(-[[:alnum:]]*[tT]|--target-directory|--no-target-directory)')" 'mv -t / -T (GNU)'
rule code "$(tool base64 '(-[[:alnum:]]*w|--wrap|--decode)')" 'base64 -w / --decode (GNU; BSD breaks lines with -b)'
rule code "$(tool find '-(printf|regextype|readable|writable|executable)')" 'find -printf and friends (GNU)'
rule code "$(tool sleep '[0-9.]+[smhd]([[:space:]]|$)')" 'sleep with a unit (GNU; BSD sleep takes seconds)'
rule code "${start}(timeout|tac|md5sum|sha1sum|sha256sum|sha512sum|nproc|stdbuf)([^[:alnum:]_.-]|$)" \
    'GNU tool that macOS lacks'

# The lines of shell code of the files: FILE:LINE:KIND:TEXT, KIND C for code (lines joined by a final
# backslash), Q for the same line with its quoted strings and H for a line of an unquoted here-document.
code_lines() {
    awk '
        FNR == 1 { state = ""; heredoc = ""; upcoming = ""; logical = ""; quoted = ""; continued = 0 }
        heredoc != "" {
            line = $0
            if (heredocTabs) sub(/^\t+/, "", line)
            if (line == heredoc) heredoc = ""
            else if (!heredocQuoted) print FILENAME ":" FNR ":H:" $0
            next
        }
        {
            if (!continued) first = FNR
            code = ""; raw = ""; n = length($0); i = 1
            while (i <= n) {
                c = substr($0, i, 1)
                if (state == "s" || state == "a") {
                    if (state == "a" && c == "\\") { raw = raw substr($0, i, 2); i += 2; continue }
                    if (c == "\047") { state = ""; code = code c }
                    raw = raw c; i++; continue
                }
                if (c == "\\") { code = code substr($0, i, 2); raw = raw substr($0, i, 2); i += 2; continue }
                if (state == "d") { if (c == "\"") state = ""; code = code c; raw = raw c; i++; continue }
                if (c == "#" && (i == 1 || substr($0, i - 1, 1) ~ /[ \t;&|(]/)) break
                if (c == "\047") state = "s"
                else if (c == "$" && substr($0, i + 1, 1) == "\047") { state = "a"; code = code c; raw = raw c; c = "\047"; i++ }
                else if (c == "\"") state = "d"
                else if (substr($0, i, 2) == "<<" && substr($0, i + 2, 1) != "<" && substr($0, i - 1, 1) != "<") {
                    rest = substr($0, i + 2); upcomingTabs = 0
                    if (substr(rest, 1, 1) == "-") { upcomingTabs = 1; rest = substr(rest, 2) }
                    sub(/^[ \t]*/, "", rest)
                    if (match(rest, /^\047[^\047]*\047/) || match(rest, /^"[^"]*"/)) {
                        upcoming = substr(rest, 2, RLENGTH - 2); upcomingQuoted = 1
                    } else if (match(rest, /^\\[A-Za-z0-9_]+/)) {
                        upcoming = substr(rest, 2, RLENGTH - 1); upcomingQuoted = 1
                    } else if (match(rest, /^[A-Za-z0-9_]+/)) {
                        upcoming = substr(rest, 1, RLENGTH); upcomingQuoted = 0
                    }
                    code = code "<<"; raw = raw "<<"; i += 2; continue
                }
                code = code c; raw = raw c; i++
            }
            logical = logical code; quoted = quoted raw
            if (state == "" && code ~ /\\$/) {
                continued = 1
                logical = substr(logical, 1, length(logical) - 1) " "
                quoted = substr(quoted, 1, length(quoted) - 1) " "
                next
            }
            continued = 0
            if (logical ~ /[^ \t]/) {
                print FILENAME ":" first ":C:" logical
                print FILENAME ":" first ":Q:" quoted
            }
            logical = ""; quoted = ""
            if (upcoming != "" && state == "") {
                heredoc = upcoming; heredocQuoted = upcomingQuoted; heredocTabs = upcomingTabs; upcoming = ""
            }
        }
    ' "$@"
}

# The constructs a line of code holds, into `refusals`.
refuse() { # kind text
    local k
    refusals=()
    for k in "${!patterns[@]}"; do
        case ${scopes[k]}:$1 in
        code:C | expansion:[CH] | quoted:Q) [[ ! $2 =~ ${patterns[k]} ]] || refusals+=("${constructs[k]}") ;;
        esac
    done
}

check_files() {
    local file line kind text construct found=0
    while IFS=: read -r file line kind text; do
        refuse "$kind" "$text"
        for construct in "${refusals[@]}"; do
            printf '%s:%s: %s\n    %s\n' "${file#"$top"/}" "$line" "$construct" "$text"
            found=1
        done
    done < <(code_lines "$@")
    return $found
}

# Every line of code must be refused, on its own: a sample line that passes is a rule gone blind.
check_each_line() {
    local file line kind text last="" refused=1 missed=0
    while IFS=: read -r file line kind text; do
        if [[ $line != "$last" ]]; then
            ((refused)) || { echo "not refused: $file:$last" >&2; missed=1; }
            last=$line refused=0
        fi
        refuse "$kind" "$text"
        ((${#refusals[@]} == 0)) || refused=1
    done < <(code_lines "$1"; echo "$1:end:") # the end closes the last line
    return $missed
}

if [[ ${1:-} == --each-line ]]; then
    check_each_line "$2"
elif [[ $# -gt 0 ]]; then
    check_files "$@"
else
    check_files "$top"/src/cli/scripts/*.sh "$top/sim/tallowmere-cli-session.sh"
fi
