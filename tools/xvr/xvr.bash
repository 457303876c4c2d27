# bash completion for xvr: subcommands, their options, driver names and the
# parameter names of a driver (options and parameters are asked of xvr).
_xvr_drivers() {
    local d plain=${cur//\\ /}
    plain=${plain#[\"\']}
    for d in COM TCP/IP UDP "KX GPIB" "QUV GPIB" VXI-11 HiSLIP; do
        [[ $d == "$plain"* ]] && COMPREPLY+=("$(printf '%q' "$d")")
    done
}

_xvr() {
    local cur=${COMP_WORDS[COMP_CWORD]} xvr=${COMP_WORDS[0]}
    local commands="drivers params ports query write read get set clear trigger stb wait-srq lock remote shell run bench log completion help"
    local i cmd="" cmdpos=0
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -v|--verbose) ;;
            *) cmd=${COMP_WORDS[i]}; cmdpos=$i; break ;;
        esac
    done
    if [[ -z $cmd ]]; then
        COMPREPLY=($(compgen -W "$commands -v --verbose --version --help" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$("$xvr" "$cmd" --help 2>/dev/null | grep -o -- '--[a-z-]*' | sort -u)" -- "$cur"))
        return
    fi
    local arg=$((COMP_CWORD - cmdpos))
    case $cmd in
        query|write|read|get|set|clear|trigger|stb|wait-srq|lock|remote|shell|run|bench|params)
            if ((arg == 1)); then
                _xvr_drivers
                return
            fi ;;
    esac
    case $cmd in
        get|set)
            if ((arg == 3)); then
                local driver=${COMP_WORDS[cmdpos + 1]//\\ /}
                COMPREPLY=($(compgen -W "$("$xvr" params "$driver" 2>/dev/null | awk '/^  [A-Z]/ { print $1 }')" -- "$cur"))
            fi ;;
        run) ((arg == 3)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
        lock) ((arg == 3)) && COMPREPLY=($(compgen -W "EXCLUSIVE NONE SHARED:" -- "$cur")) ;;
        remote) ((arg == 3)) && COMPREPLY=($(compgen -W "REMOTE LOCAL LOCKOUT" -- "$cur")) ;;
        log) ((arg == 1)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
        completion) ((arg == 1)) && COMPREPLY=($(compgen -W bash -- "$cur")) ;;
        help) ((arg == 1)) && COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    esac
}
complete -F _xvr xvr
