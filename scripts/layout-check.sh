#!/usr/bin/env bash
# Fails when a core folder includes widgets or a folder above it in the layering.
# Usage: scripts/layout-check.sh SOURCE_DIR QT_HEADERS_DIR
#        scripts/layout-check.sh --self-test QT_HEADERS_DIR
# QT_HEADERS_DIR holds QtCore/, QtGui/, QtWidgets/...: a header found in QtGui/ or
# QtWidgets/ is a widget header, however it is spelled.
set -euo pipefail

# The core folders from the bottom up. A file may include its own folder and the folders
# of the lines above its own; folders on one line stand side by side and include neither
# each other nor anything above them.
layers=("common" "settings" "log history" "engine" "protocols" "downloads")

declare -A rank=()
for i in "${!layers[@]}"; do
    for folder in ${layers[$i]}; do
        rank[$folder]=$i
    done
done

# Prints one line for every include that breaks the layering; returns 1 when there was any.
check() {
    local root=$1 qt=$2 found=0 file line target top own
    local pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"]'
    for own in "${!rank[@]}"; do
        [[ -d $root/$own ]] || continue
        while IFS= read -r file; do
            while IFS= read -r line; do
                [[ $line =~ $pattern ]] || continue
                target=${BASH_REMATCH[1]}
                local why=
                if [[ $line == *'<'* ]]; then
                    case $target in
                    QtWidgets | QtWidgets/* | QtGui | QtGui/*) why="includes $target" ;;
                    *) if [[ -e $qt/QtWidgets/$target || -e $qt/QtGui/$target ]]; then
                        why="includes the widget header $target"
                    fi ;;
                    esac
                elif [[ $target == *..* ]]; then
                    why="includes $target by a relative path"
                elif [[ $target == */* ]]; then
                    top=${target%%/*}
                    if [[ $top != "$own" ]] &&
                        [[ -z ${rank[$top]+x} || ${rank[$top]} -ge ${rank[$own]} ]]; then
                        why="includes $target: $top is not below $own"
                    fi
                fi
                if [[ -n $why ]]; then
                    echo "${file#"$root"/}: $why"
                    found=1
                fi
            done <"$file"
        done < <(find "$root/$own" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
    done
    return $found
}

if [[ ${1:-} == --self-test ]]; then
    # A small tree with one fault of each kind and files that are fine: every fault must be
    # reported, and nothing else.
    qt=${2:?Qt headers directory}
    tree=$(mktemp -d)
    trap 'rm -rf "$tree"' EXIT
    mkdir -p "$tree"/{common,settings,log,history,engine,protocols,downloads}
    printf '#include <QWidget>\n' >"$tree/common/Widget.h"
    printf '#include "app/gui/Window.h"\n' >"$tree/settings/App.cpp"
    printf '#include "history/HistoryStore.h"\n' >"$tree/log/Sibling.cpp"
    printf '#  include "downloads/VireoDoc.h"\n' >"$tree/engine/Above.cpp"
    printf '#include <QtGui/QImage>\n' >"$tree/protocols/Gui.cpp"
    printf '#include "../app/Main.h"\n' >"$tree/downloads/Relative.cpp"
    printf '#include "engine/Job.h"\n#include "log/TransferLog.h"\n#include "Local.h"\n' \
        >"$tree/downloads/Fine.cpp"
    printf '#include <QTcpSocket>\n#include <vector>\n#include "common/Endian.h"\n' \
        >"$tree/engine/Fine.h"
    [[ -e $qt/QtWidgets/QWidget ]] || { echo "no QtWidgets headers in $qt" >&2; exit 2; }
    expected=$'common/Widget.h\ndownloads/Relative.cpp\nengine/Above.cpp\nlog/Sibling.cpp\nprotocols/Gui.cpp\nsettings/App.cpp'
    report=$(check "$tree" "$qt" || true)
    got=$(cut -d: -f1 <<<"$report" | sort)
    if [[ $got != "$expected" ]]; then
        printf 'layout check self-test: expected faults in\n%s\nbut it reported\n%s\n' \
            "$expected" "$report" >&2
        exit 1
    fi
    echo "layout check self-test: all 6 faults found, nothing else"
    exit 0
fi

root=${1:?source directory}
qt=${2:?Qt headers directory}
[[ -d $qt/QtCore ]] || { echo "no Qt headers in $qt" >&2; exit 2; }
if ! check "$root" "$qt"; then
    echo "core folders must not include widgets or folders above them (see DESIGN.md)" >&2
    exit 1
fi
echo "layout: no core folder includes widgets or a folder above it"
