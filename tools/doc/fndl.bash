# bash completion for fndl
_fndl() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local command=${COMP_WORDS[1]}
  if [[ $COMP_CWORD -eq 1 ]]; then
    mapfile -t COMPREPLY < <(compgen -W "print dump render check --help --version" -- "$cur")
    return
  fi
  case $prev in
    --face)
      local IFS=$'\n'
      mapfile -t COMPREPLY < <(compgen -f -- "$cur"; fc-list : family 2>/dev/null | cut -d, -f1 |
        sort -u | grep -i -- "^$cur")
      return ;;
    --page) mapfile -t COMPREPLY < <(compgen -W "a4 a3 letter legal" -- "$cur"); return ;;
    -o | --output)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
    --size | --margin-left | --margin-top | --line-spacing | --tab-width | --dpi | --pages)
      return ;;
  esac
  local options
  case $command in
    print) options="-o --output --face --file-mode --strict --size --bold --italic --underline
                    --page --margin-left --margin-top --line-spacing --tab-width --force --help" ;;
    render) options="-o --output --dpi --pages --help" ;;
    dump | check) options="--help" ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -o filenames -F _fndl fndl
