# bash completion for tessarin
_tessarin() {
  local cur prev
  cur="${COMP_WORDS[COMP_CWORD]}"
  prev="${COMP_WORDS[COMP_CWORD-1]}"
  case "${prev,,}" in
    -s|-nd|-ndl|-uc|-pc|-c|-ucn|-pcn|-namefiles|-q)
      return 0 ;;  # a number, a name or a character: nothing to offer
    -d)
      COMPREPLY=($(compgen -W "tab , ';' '|'" -- "$cur"))
      return 0 ;;
  esac
  if [[ "$cur" == -* ]]; then
    COMPREPLY=($(compgen -W "-u -p -s -nd -ndl -uc -ucn -pc -pcn -namefiles -d -q -qopt -c
      -fenone -feda -fern -fehex -fehlm -ncfl -ncfld0 -ce --help --version" -- "$cur"))
    return 0
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _tessarin tessarin
