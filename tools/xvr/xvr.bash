# bash completion for xvr: subcommands, their options, driver names and the
# parameter names of a driver (options and parameters are asked of xvr).
_xvr_drivers() {
    local d quote=${cur:0:1} plain
    [[ $quote == [\"\'] ]] || quote=""
    plain=$(_xvr_unquote "$cur")
    for d in COM TCP/IP UDP "KX GPIB" "QUV GPIB"; do
        [[ $d == "$plain"* ]] || continue
        # A quoted word is completed inside its quotes, a bare one escaped.
        if [[ -n $quote ]]; then COMPREPLY+=("$quote$d$quote"); else COMPREPLY+=("$(printf '%q' "$d")"); fi
    done
}

# A word as the command will get it: KX\ GPIB, "KX GPIB" and 'KX G' give KX GPIB.
_xvr_unquote() {
    local w=${1//\\ / }
    w=${w#[\"\']}
    printf '%s' "${w%[\"\']}"
}

# Bash splits words at ':' and '=' too (127.0.0.1:5025 is three words to
# it): glue them back, so that positions and the current word are the user's.
_xvr_words() {
    local i w glue=0
    words=() cword=0
    for ((i = 0; i < ${#COMP_WORDS[@]}; i++)); do
        w=${COMP_WORDS[i]}
        if ((${#words[@]} > 0)) && { [[ $w == : ]] || ((glue)); }; then
            words[${#words[@]} - 1]+=$w
        else
            words+=("$w")
        fi
        [[ $w == : ]] && glue=1 || glue=0
        ((i == COMP_CWORD)) && cword=$((${#words[@]} - 1))
    done
}

_xvr_reply() {
    local cur=${words[cword]} xvr=${words[0]}
    local commands="drivers params ports query write read get set shell run bench log completion help"
    local i cmd="" cmdpos=0
    COMPREPLY=()
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -v|--verbose) ;;
            *) cmd=${words[i]}; cmdpos=$i; break ;;
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
    # The position among the arguments; options and their values do not count.
    local arg=0 skip=0 args=("$cmd")
    for ((i = cmdpos + 1; i <= cword; i++)); do
        if ((skip)); then skip=0; continue; fi
        case ${words[i]} in
            -t|--timeout|-d|--delimiter|-n|--count|-o|--output) ((i < cword)) && skip=1 ;;
            -[a-z]*|--[a-z]*) ((i < cword)) || args[++arg]=${words[i]} ;;
            *) args[++arg]=${words[i]} ;;
        esac
    done
    case $cmd in
        query|write|read|get|set|shell|run|bench|params)
            if ((arg == 1)); then
                _xvr_drivers
                return
            fi ;;
    esac
    case $cmd in
        get|set)
            if ((arg == 3)); then
                local driver=$(_xvr_unquote "${args[1]}")
                COMPREPLY=($(compgen -W "$("$xvr" params "$driver" 2>/dev/null | awk '/^  [A-Z]/ { print $1 }')" -- "$cur"))
            fi ;;
        run) ((arg == 3)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
        log) ((arg == 1)) && COMPREPLY=($(compgen -f -- "$cur")) ;;
        completion) ((arg == 1)) && COMPREPLY=($(compgen -W bash -- "$cur")) ;;
        help) ((arg == 1)) && COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    esac
}
_xvr() {
    local words cword
    _xvr_words
    _xvr_reply
    # Bash replaces only what follows the last ':' of the word.
    local cur=${words[cword]}
    if [[ $cur == *:* ]]; then
        local i prefix=${cur%"${cur##*:}"}
        for i in "${!COMPREPLY[@]}"; do COMPREPLY[i]=${COMPREPLY[i]#"$prefix"}; done
    fi
}
complete -F _xvr xvr
