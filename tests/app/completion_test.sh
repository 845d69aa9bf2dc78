#!/bin/bash
# The bash completion against the built program: options from its --help, directories
# after -d, nothing of its own after an option that takes a free value.
# Usage: completion_test.sh COMPLETION_FILE VIREO_BINARY
set -u
source "$1"
vireo=$2
fail=0
expect() { # words..., then "=>" and the expected completions
    local words=() want
    while [[ $1 != "=>" ]]; do words+=("$1"); shift; done
    shift
    want="$*"
    COMP_WORDS=("$vireo" "${words[@]}")
    COMP_CWORD=${#words[@]}
    COMPREPLY=()
    _vireo
    local got
    got=$(printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " ")
    got=${got% }
    if [[ $got != "$want" ]]; then
        echo "completing '${words[*]}': got '$got', want '$want'"
        fail=1
    fi
}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/downloads" "$dir/docs"
touch "$dir/downloads.txt"
cd "$dir"
expect --he "=>" --header --headless --help
expect --ver "=>" --version
expect -d dow "=>" downloads
expect -i dow "=>" downloads downloads.txt
expect --timeout "" "=>"
expect --hls "=>" --hls-max-bandwidth --hls-max-height
expect http://x --js "=>" --json
exit $fail
