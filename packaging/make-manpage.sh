#!/usr/bin/env bash
# Writes the manual page of fabricor-cli from its own --help texts, so the page never says
# anything the program does not:
#   packaging/make-manpage.sh FABRICOR_CLI VERSION OUTPUT.1
# The program's --help gives the description and the list of commands; each command's --help
# gives its section.
set -euo pipefail
cli="$1" version="$2" output="$3"

# Text for roff: a backslash is written \e, and a line that starts with a dot or a quote would
# be taken for a request.
escape() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

top="$("$cli" --help)"
commands=$(printf '%s\n' "$top" | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\)  .*/\1/p')
[ -n "$commands" ] || { echo "make-manpage.sh: no commands in '$cli --help'" >&2; exit 1; }

{
    printf '.TH FABRICOR-CLI 1 "" "fabricor-cli %s" "User Commands"\n' "$version"
    printf '.SH NAME\n'
    printf 'fabricor-cli \\- build, check and read back SW30418 gateway configurations without windows\n'
    printf '.SH SYNOPSIS\n.B fabricor-cli\n.I COMMAND\n.RI [ ARGUMENTS ]\n.br\n'
    printf '.B fabricor-cli\n.BR \\-\\-help " | " \\-\\-version\n'
    printf '.SH DESCRIPTION\n.nf\n'
    # Everything after the usage line: the description, the commands, the exit status.
    printf '%s\n' "$top" | sed '1,2d' | escape
    printf '.fi\n.SH COMMANDS\n'
    for command in $commands; do
        printf '.SS %s\n.nf\n' "$command"
        "$cli" "$command" --help | escape
        printf '.fi\n'
    done
    printf '.SH VERSION\nfabricor-cli %s\n' "$version"
    printf '.SH SEE ALSO\nThe program with windows, \\fBfabricor\\fR, and /usr/share/doc/fabricor/README.md.\n'
} >"$output.tmp"
mv "$output.tmp" "$output"
