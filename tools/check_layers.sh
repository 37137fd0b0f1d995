#!/usr/bin/env bash
# check_layers.sh [SOURCE_DIR]: fails, naming each offending line, when a
# program folder includes a folder it must not reach. The order:
#   core <- platform <- forms <- widgets;   runs -> platform, core;
#   settings -> forms, widgets, runs;      dialogs -> forms, widgets, platform;
# and only app/ (the program's start) names the concrete windows.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2

declare -A may=(
    [core]="core"
    [platform]="platform core"
    [forms]="forms platform core"
    [widgets]="widgets forms platform core"
    [runs]="runs platform core"
    [settings]="settings forms widgets runs platform core"
    [dialogs]="dialogs forms widgets platform core"
    [app]="app settings dialogs runs widgets forms platform core"
    [tools]="tools runs platform core"
)

found=0
for folder in "${!may[@]}"; do
    [ -d "$folder" ] || { echo "missing folder: $folder"; found=1; continue; }
    while IFS=: read -r file line text; do
        # Every include of the project names its folder: "core/Result.h".
        target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"/]*\)\/.*/\1/p' <<<"$text")
        if [ -z "$target" ] || [[ " ${may[$folder]} " != *" $target "* ]]; then
            echo "$file:$line: $folder/ must not include this: $text"
            found=1
        fi
    done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder")
done
exit "$found"
