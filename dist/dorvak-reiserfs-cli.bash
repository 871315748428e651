# bash completion for dorvak-reiserfs-cli: commands, their options and the
# values the options take; sources, images and files complete as file names,
# DEST as a folder.

_dorvak_reiserfs_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="disks volumes search list find recover image help"
    local progress="--quiet -q --progress --stats"
    local volume="--volume --start-sector --extensive --no-carve --read-ahead --map --name-encoding
        --save-scan --load-scan"

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            disks | volumes | search | list | find | recover | image | help)
                command=${words[i]}
                break
                ;;
        esac
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --help -h --version" -- "$cur"))
        return
    fi

    case $prev in
        --duplicates)
            COMPREPLY=($(compgen -W "rename overwrite skip" -- "$cur"))
            return
            ;;
        --deleted)
            if [[ $command == recover ]]; then
                COMPREPLY=($(compgen -W "include only exclude" -- "$cur"))
                return
            fi
            ;;
        --report | --map | --save-scan | --load-scan)
            _filedir
            return
            ;;
        --name-encoding)
            COMPREPLY=($(compgen -W "KOI8-R CP1251 CP866 ISO-8859-5 CP932 SHIFT_JIS EUC-JP
                EUC-KR GB18030 BIG5 CP1252 ISO-8859-1 ISO-8859-2 ISO-8859-7" -- "$cur"))
            return
            ;;
        --volume | --start-sector | --start | --end | --run | --depth | --retries | \
            --sectors-per-read | --read-ahead | --path)
            # A number or a path inside the volume: nothing to offer.
            return
            ;;
    esac

    local options
    case $command in
        disks) options="--map --help" ;;
        volumes) options="--map --help" ;;
        search) options="--map --start --end --run --stats $progress --help" ;;
        image) options="--map --volume --retries $progress --help" ;;
        list) options="$volume --path --depth --deleted --all-versions --stats $progress --help" ;;
        find) options="$volume $progress --help" ;;
        recover)
            options="$volume --path --duplicates --deleted --retries --sectors-per-read
                     --dry-run --report --stats $progress --help"
            ;;
        help)
            [[ $cur == -* ]] && options="--help" ||
                options="disks volumes search list find recover image"
            COMPREPLY=($(compgen -W "$options" -- "$cur"))
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # Positional arguments: the source (a device or an image), then DEST for
    # recover; PATTERN for find is free text.
    local positional=0
    for ((i = i + 1; i < cword; i++)); do
        case ${words[i]} in
            --volume | --start-sector | --start | --end | --run | --depth | --retries | \
                --sectors-per-read | --read-ahead | --path | --duplicates | --report | --map | \
                --name-encoding | --save-scan | --load-scan)
                ((i++))
                ;;
            --deleted)
                [[ $command == recover ]] && ((i++))
                ;;
            -*) ;;
            *) ((positional++)) ;;
        esac
    done
    if [[ $command == recover && $positional -eq 1 ]]; then
        _filedir -d
    elif [[ $command == find && $positional -ge 1 ]]; then
        return
    else
        _filedir
    fi
} &&
    complete -F _dorvak_reiserfs_cli dorvak-reiserfs-cli
