#!/usr/bin/env bash
# Fails, printing file:line for each, when a source file under src/ includes against the layers
# (lowest first): base, store, widgets, notify, tray, main_window, app. A folder's files may
# include their own folder and the folders listed for it below; an include without a folder
# (generated ones such as "version.h") only above store. base and store include no Qt GUI or
# widget header, and store never the message-box seams or the error box: it reports errors, it
# shows no box.
set -euo pipefail
cd "$(dirname "$0")/.."

layers="base store widgets notify tray main_window app"
declare -A allowed=(
    [base]="base"
    [store]="base store"
    [widgets]="base widgets"
    [notify]="base store widgets notify"
    [tray]="base widgets tray"
    [main_window]="base store widgets notify tray main_window"
    [app]="base store widgets notify tray main_window app"
)
gui_modules="QtGui QtWidgets QtOpenGL QtOpenGLWidgets QtPrintSupport QtSvg QtSvgWidgets"

# GUI class headers by name; the installed Qt's own lists, where found, add every other one.
gui_pattern='^(QWidget.*|QMessageBox|QApplication|QGuiApplication|QIcon|QFont.*|QPixmap|QImage|QPainter|QColor|QCursor|QScreen|QWindow|QAction|QMenu|QAbstract.*View|QKeyEvent|QMouseEvent|QClipboard)$'
declare -A gui_header=()
qt_headers=$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || true)
for module in $gui_modules; do
    [[ -n "$qt_headers" && -d "$qt_headers/$module" ]] || continue
    for header in "$qt_headers/$module"/Q*; do
        gui_header[${header##*/}]=1
    done
done

bad=0
offend() {
    echo "$1: $2"
    bad=1
}
while IFS= read -r -d '' file; do
    rel=${file#src/}
    layer=${rel%%/*}
    if [[ "$rel" != */* || -z "${allowed[$layer]+set}" ]]; then
        offend "$file" "not in a layer folder ($layers)"
        continue
    fi
    while IFS= read -r hit; do
        line=${hit%%:*} text=${hit#*:}
        [[ "$text" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([<\"])([^>\"]+) ]] || continue
        quote=${BASH_REMATCH[1]} name=${BASH_REMATCH[2]}
        where="$file:$line"
        if [[ "$layer" == base || "$layer" == store ]]; then
            module=${name%%/*}
            if [[ "$name" =~ $gui_pattern || -n "${gui_header[$name]+set}" ||
                ("$name" == */* && " $gui_modules " == *" $module "*) ||
                " $gui_modules " == *" $name "* ]]; then
                offend "$where" "$layer includes the GUI header $name"
                continue
            fi
        fi
        [[ "$quote" == '"' ]] || continue
        if [[ "$name" != */* ]]; then
            # moc output of the file itself belongs to no layer.
            [[ "$name" == *.moc || "$name" == moc_*.cpp ]] && continue
            if [[ "$layer" == base || "$layer" == store ]]; then
                offend "$where" "$layer includes \"$name\", which is in no layer folder"
            fi
            continue
        fi
        target=${name%%/*}
        if [[ -z "${allowed[$target]+set}" ]]; then
            offend "$where" "includes \"$name\" from $target, which is not a layer"
        elif [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            offend "$where" "$layer may not include \"$name\" (it may include: ${allowed[$layer]})"
        elif [[ "$layer" == store && ("$name" == base/MessageSeam.h || "$name" == base/ErrorTrap.h || "$name" == base/ErrorBox.h) ]]; then
            offend "$where" "store includes \"$name\": it reports errors and shows no box"
        fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find src -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.in' \) -print0 | sort -z)

if [[ $bad -ne 0 ]]; then
    echo "check-layers: includes against the layers (see scripts/check-layers.sh)"
    exit 1
fi
echo "check-layers: ok"
