#!/usr/bin/env bash
# Checks that every C and C++ file git tracks is formatted as .clang-format
# says.  Changes nothing; lists each file that clang-format would change and
# exits 1 when there is one.  To format a file: clang-format -i FILE.
# The style is tuned for clang-format 14 (Debian's, which
# scripts/install-deps.sh installs): other versions lay some lines out
# otherwise, so they are refused rather than trusted.
set -euo pipefail
cd "$(dirname "$0")/.."

FORMAT_MAJOR_VERSION=14

formatter=clang-format-$FORMAT_MAJOR_VERSION
command -v "$formatter" >/dev/null || formatter=clang-format
if ! command -v "$formatter" >/dev/null; then
    echo "clang-format is missing: run scripts/install-deps.sh" >&2
    exit 2
fi
version=$("$formatter" --version)
if ! [[ $version =~ version\ $FORMAT_MAJOR_VERSION\. ]]; then
    echo "$formatter is not version $FORMAT_MAJOR_VERSION ($version)" >&2
    exit 2
fi

unformatted=()
while IFS= read -r -d '' file; do
    "$formatter" --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files -z '*.c' '*.cpp' '*.h')

[ ${#unformatted[@]} = 0 ] && exit 0
echo "Not formatted as .clang-format says (clang-format -i FILE formats one):" >&2
printf '  %s\n' "${unformatted[@]}" >&2
exit 1
