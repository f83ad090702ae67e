# bash completion for zop5-tool                             -*- shell-script -*-
#
# Reads the commands from `zop5-tool --help` and each command's options from
# `zop5-tool COMMAND --help` when asked, so a new command or option completes
# as soon as its help lists it. A help line that lists an option reads
#   "  [-x, ]--option [VALUE]   description"
# and VALUE says what follows the option:
#   a|b|c              one of the words a, b, c
#   COM1..COM4, COMn   a port name
#   FILE.zop, FILE.csv files of that extension (any letter case) and folders
#   DIR                folders
#   PATH after --device, or DEVICE   serial devices (/dev/ttyUSB0, ...) or files
#   PATH, FILE, OUT    any file
#   anything else      (a number, a text) nothing to complete
# The usage lines ("Usage: zop5-tool COMMAND [OPTIONS] ARG1 ARG2..." and the
# lines "       zop5-tool COMMAND --option VALUE ARG" under it) name the
# arguments in the same way, "ARG..." repeating the last one; a form that
# starts with an option takes the arguments after it once that option is typed.

# The help text of the tool ($1), or of its command $2.
_zop5_tool_help()
{
    LC_ALL=C "$1" ${2:+"$2"} --help 2>/dev/null
}

# Serial devices and pseudo-terminals under the typed prefix; outside /dev,
# files (a simulator's link such as /tmp/zop5-com1 is one).
_zop5_tool_devices()
{
    local cur=$1 path
    if [[ $cur == /dev/* || -z $cur ]]; then
        for path in /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* /dev/ttyAMA* /dev/rfcomm* /dev/serial/by-id/* /dev/pts/[0-9]*; do
            [[ -e $path && $path == "$cur"* ]] && COMPREPLY+=("$path")
        done
        [[ ${#COMPREPLY[@]} -gt 0 ]] && return
    fi
    _zop5_tool_files "$cur" all
}

# Files and folders under the typed prefix; with `all` any file, with `dirs`
# only folders, else only files of that extension (in any letter case).
_zop5_tool_files()
{
    local cur=$1 kind=$2 path
    compopt -o filenames 2>/dev/null
    while IFS= read -r path; do
        if [[ -d $path ]]; then
            COMPREPLY+=("$path")
        elif [[ $kind == all ]]; then
            COMPREPLY+=("$path")
        elif [[ $kind != dirs ]]; then
            local lower=${path,,}
            [[ $lower == *."$kind" ]] && COMPREPLY+=("$path")
        fi
    done < <(compgen -f -- "$cur")
}

# Offers the words of $1 that start with $2.
_zop5_tool_words()
{
    local word
    while IFS= read -r word; do
        COMPREPLY+=("$word")
    done < <(compgen -W "$1" -- "$2")
}

# Completes the value of the kind `value` (a placeholder from the help) of
# the option `option`.
_zop5_tool_value()
{
    local option=$1 value=$2 cur=$3
    case $value in
        *'|'*) _zop5_tool_words "${value//|/ }" "$cur" ;;
        COM1..COM*|COMn|COM) _zop5_tool_words "COM1 COM2 COM3 COM4" "$cur" ;;
        *.[a-z]*) _zop5_tool_files "$cur" "${value##*.}" ;;
        DIR | DIRECTORY) _zop5_tool_files "$cur" dirs ;;
        DEVICE) _zop5_tool_devices "$cur" ;;
        PATH)
            if [[ $option == --device ]]; then
                _zop5_tool_devices "$cur"
            elif [[ $option == --file ]]; then
                _zop5_tool_files "$cur" zop
            else
                _zop5_tool_files "$cur" all
            fi
            ;;
        FILE | OUT | OUTPUT) _zop5_tool_files "$cur" all ;;
    esac
}

# The placeholder of the value of option $1 in REPLY (empty for a flag), from
# the caller's arrays `options` and `values`; fails for an unknown option.
_zop5_tool_value_of()
{
    local i
    for i in "${!options[@]}"; do
        [[ ${options[i]} == "$1" ]] && { REPLY=${values[i]}; return 0; }
    done
    return 1
}

_zop5_tool()
{
    local tool=${COMP_WORDS[0]} cword=$COMP_CWORD REPLY
    local cur=${COMP_WORDS[cword]} prev=""
    ((cword > 0)) && prev=${COMP_WORDS[cword - 1]}
    COMPREPLY=()
    # shellcheck disable=SC2088 # a tilde the shell left as typed
    [[ $tool == "~/"* ]] && tool=$HOME/${tool#"~/"}

    # The commands, from the lines under "Commands:" of the tool's help.
    local commands
    commands=$(_zop5_tool_help "$tool" | sed -n '/^Commands:/,$ s/^  \([a-z][a-z0-9-]*\) .*/\1/p')

    if ((cword == 1)); then
        _zop5_tool_words "$commands help --help --version" "$cur"
        return
    fi
    local command=${COMP_WORDS[1]}
    if [[ $command == help ]]; then
        ((cword == 2)) && _zop5_tool_words "$commands" "$cur"
        return
    fi
    [[ " ${commands//$'\n'/ } " == *" $command "* ]] || return

    # Option lines: the option, and the placeholder of its value if it takes one.
    local help options=() values=() line
    help=$(_zop5_tool_help "$tool" "$command")
    while IFS= read -r line; do
        [[ $line =~ ^\ +(-[A-Za-z],\ )?(--[a-z][a-z0-9-]*)(\ ([^ ]+))? ]] || continue
        options+=("${BASH_REMATCH[2]}")
        values+=("${BASH_REMATCH[4]}")
        [[ -n ${BASH_REMATCH[1]} ]] && options+=("${BASH_REMATCH[1]%, }") && values+=("${BASH_REMATCH[4]}")
    done <<<"$help"

    # Usage lines: each form of the command ("zop5-tool CMD [--opt VALUE] ARG..."),
    # known by its first option, with the arguments it takes; their options
    # count as listed too.
    local i forms=() form_arguments=() usage=() word key arguments
    while IFS= read -r line; do
        read -r -a usage <<<"$line"
        key="" arguments=""
        for ((i = 0; i < ${#usage[@]}; i++)); do
            word=${usage[i]//[\[\]]/}
            if [[ $word == --* ]]; then
                [[ -z $key ]] && key=$word
                REPLY=""
                if ((i + 1 < ${#usage[@]})) && [[ ${usage[i]} != *"]" && ${usage[i + 1]} != \[* && ${usage[i + 1]} != -* ]]; then
                    REPLY=${usage[i + 1]//[\[\]]/}
                    ((i++))
                fi
                local value=$REPLY
                _zop5_tool_value_of "$word" || { options+=("$word"); values+=("$value"); }
            elif [[ $word != OPTIONS && $word != -* ]]; then
                arguments+=" $word"
            fi
        done
        forms+=("$key")
        form_arguments+=("$arguments")
    done < <(sed -n "/^Usage:/,/^$/ s/^\(Usage:\)\? *zop5-tool $command\( \|$\)//p" <<<"$help")
    # --option=value (bash splits the word at "=").
    if [[ $cur == = && $prev == --* ]]; then
        _zop5_tool_value_of "$prev" && _zop5_tool_value "$prev" "$REPLY" ""
        return
    fi
    if [[ $prev == = ]] && ((cword > 2)); then
        _zop5_tool_value_of "${COMP_WORDS[cword - 2]}" && _zop5_tool_value "${COMP_WORDS[cword - 2]}" "$REPLY" "$cur"
        return
    fi
    # --option=value as one word (when "=" does not break words).
    if [[ $cur == --*=* ]]; then
        _zop5_tool_value_of "${cur%%=*}" && _zop5_tool_value "${cur%%=*}" "$REPLY" "${cur#*=}"
        COMPREPLY=("${COMPREPLY[@]/#/${cur%%=*}=}")
        return
    fi
    # The value of the option just typed.
    if [[ $prev == -* ]] && _zop5_tool_value_of "$prev" && [[ -n $REPLY ]]; then
        _zop5_tool_value "$prev" "$REPLY" "$cur"
        return
    fi
    if [[ $cur == -* ]]; then
        _zop5_tool_words "${options[*]}" "$cur"
        return
    fi

    # An argument: the form whose first option was typed (else the first
    # form) tells which; count those before it, skipping options and their values.
    local position=0 form=0
    for ((i = 2; i < cword; i++)); do
        for key in "${!forms[@]}"; do
            [[ -n ${forms[key]} && ${forms[key]} == "${COMP_WORDS[i]}" ]] && form=$key
        done
    done
    arguments=()
    read -r -a arguments <<<"${form_arguments[form]:-}"
    for ((i = 2; i < cword; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -* ]]; then
            _zop5_tool_value_of "$word" && [[ -n $REPLY ]] && ((i++))
        elif [[ $word != = && ${COMP_WORDS[i - 1]} != = ]]; then
            ((position++))
        fi
    done
    if ((${#arguments[@]} == 0)); then
        _zop5_tool_words "${options[*]}" "$cur"
        return
    fi
    if ((position >= ${#arguments[@]})); then
        [[ ${arguments[-1]} == *... ]] || return
        position=$((${#arguments[@]} - 1))
    fi
    _zop5_tool_value "" "${arguments[position]%...}" "$cur"
}

complete -F _zop5_tool zop5-tool
