#!/bin/sh
# Starts fieldservice in its installation directory, where it finds
# config.ini, its language and help files. The file names of the batch jobs
# are taken from where the command was given, so they are made absolute.
here=$(pwd)
absolute() {
  case "$1" in
    /*) printf '%s' "$1" ;;
    *) printf '%s/%s' "$here" "$1" ;;
  esac
}
n=$#
i=0
next=""
while [ "$i" -lt "$n" ]; do
  arg=$1
  shift
  i=$((i + 1))
  if [ -n "$next" ]; then
    arg=$(absolute "$arg")
    next=""
  else
    case "$arg" in
      /c|/l|--convert|--load) next=1 ;;
      --convert=*) arg="--convert=$(absolute "${arg#--convert=}")" ;;
      --load=*) arg="--load=$(absolute "${arg#--load=}")" ;;
    esac
  fi
  set -- "$@" "$arg"
done
cd /opt/fieldservice || exit 1
exec /opt/fieldservice/fieldservice "$@"
