#!/usr/bin/env bash
# The bash completion of kesta-decode and kesta-decoder, loaded into a real bash with
# the bash-completion package's helpers: what <TAB> offers for decode, merge and the
# windows, in a folder of a few logs.
# Usage: bash_completion_test.sh COMPLETION-FILE
set -u
completion=$(realpath "$1")
helpers=/usr/share/bash-completion/bash_completion
[[ -r $helpers ]] || { echo "FAIL: $helpers is missing (the bash-completion package)"; exit 1; }
bash -c 'source "$1" && source "$2" && complete -p kesta-decode kesta-decoder' - "$helpers" \
    "$completion" ||
    { echo "FAIL: $completion does not load"; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" && touch pass.kss other.kss satnogs.csv && mkdir logs

# Offers for the words typed so far, one a line, sorted. The words are given as bash
# breaks them (a "=" is a word of its own); an empty last word is written as ''.
offers() {
    bash -c '
        source "$1" && source "$2" || exit 1
        shift 2
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="${COMP_WORDS[*]}" COMP_POINT=${#COMP_LINE}
        function=$(complete -p "$1") && function=${function#*-F } && ${function%% *}
        printf "%s\n" "${COMPREPLY[@]}" | sort
    ' - "$helpers" "$completion" "$@"
}

failures=0
# expect "WORDS..." "OFFERS (space-separated, sorted)"
expect() {
    local -a words
    read -ra words <<<"$1"
    [[ $1 == *" ''" ]] && words[-1]=''
    local got
    got=$(offers "${words[@]}" | tr '\n' ' ')
    got=${got% }
    if [[ $got != "$2" ]]; then
        echo "FAIL: $1 <TAB>: offered '$got', expected '$2'"
        failures=$((failures + 1))
    fi
}

expect "kesta-decode merge -" "--heard-by --help --output --quiet --report --window -h -o -q"
expect "kesta-decode m" "merge"
expect "kesta-decode ''" "logs merge other.kss pass.kss satnogs.csv"
expect "kesta-decode merge -o ''" "logs other.kss pass.kss satnogs.csv"
expect "kesta-decode merge --heard-by o" "other.kss"
expect "kesta-decode merge --window ''" ""
expect "kesta-decode merge pass.kss Bremen = o" "other.kss"
expect "kesta-decode merge pass.kss s" "satnogs.csv"
expect "kesta-decode ./merge --win" ""
expect "kesta-decode --influx-u" "--influx-url"
expect "kesta-decode --influx-url ''" ""
expect "kesta-decode --fail-on ''" "critical warning"
expect "kesta-decode --pass" "--pass-gap"
expect "kesta-decode --html-report p" "pass.kss"
expect "kesta-decode --report-f" "--report-fields"
expect "kesta-decode --st" "--station"
expect "kesta-decode --limits o" "other.kss"
expect "kesta-decode --report-fields ''" "Angle CcuTime ElementNumber FssAngleData FssCounter FssCurrent FssFrameCounter FssStatus HiDataSize HiLowerAddress HiUpperAddress HrxCurrent HtrxCounter HtxCurrent ModeStatus MovementFlag Rssi Threshold TncCurrent"
expect "kesta-decode --report-fields Rssi,Hi" "Rssi,HiDataSize Rssi,HiLowerAddress Rssi,HiUpperAddress"
expect "kesta-decode --report-fields Rssi,Angle,C" "Rssi,Angle,CcuTime"
expect "kesta-decoder -" "--connect --help --influx-url --record --station --version -h -v"
expect "kesta-decoder ''" "logs other.kss pass.kss satnogs.csv"
expect "kesta-decoder --record o" "other.kss"
expect "kesta-decoder --connect ''" ""
expect "kesta-decoder --station ''" ""
expect "kesta-decoder --influx-url ''" ""

((failures == 0)) && echo "PASS: every completion as expected"
exit $((failures > 0))
