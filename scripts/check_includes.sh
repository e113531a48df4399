#!/bin/sh
# Fails when an include runs up a layer or crosses into what a layer must not
# see. The layers, bottom up, and what each may include from this tree:
#   include/somnel/  the public plain-C headers: only each other
#   platform/        only platform/
#   xshim/           platform/, xshim/, somnel/
#   support/         support/, somnel/, and the Qt-free platform headers
#   framework/       platform/, xshim/, support/, framework/, somnel/
#   savers/<name>/   somnel/ and its own folder (examples/<name>/ too)
#   host/            host/, platform/
# Public headers, savers, the hack-side support and the Qt-free platform
# headers include no Qt; hack-facing code never includes the real Xlib or GLX.
# Usage: scripts/check_includes.sh [SOURCE_ROOT]
cd "${1:-$(dirname "$0")/..}" || exit 2

QT_FREE_PLATFORM='platform/(export|geometry|log|clock|value|preferences|bundle|timer|event|view|gl)\.h'

allowed() {  # allowed FILE INCLUDED -> 0 when FILE may include INCLUDED
    f=$1 inc=$2
    case $f in
    include/somnel/*) pat='^somnel/' ;;
    platform/*) pat='^platform/' ;;
    xshim/*) pat='^(platform|xshim|somnel)/' ;;
    support/*) pat="^(support/|somnel/|$QT_FREE_PLATFORM$)" ;;
    framework/*) pat='^(platform|xshim|support|framework|somnel)/' ;;
    savers/*|examples/*) pat='^(somnel/|[^/]+$)' ;;
    host/*) pat='^(host|platform)/' ;;
    *) return 0 ;;
    esac
    printf '%s\n' "$inc" | grep -Eq "$pat"
}

status=0
files=$(find include platform xshim support framework savers examples host \
    -name '*.h' -o -name '*.c' -o -name '*.cpp' | sort)
for f in $files; do
    # Project includes, in quotes.
    for inc in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f"); do
        if ! allowed "$f" "$inc"; then
            echo "$f: includes \"$inc\", which its layer must not see" >&2
            status=1
        fi
    done
    # Qt and the real X headers, in angle brackets.
    qtfree=no
    case $f in
    include/*|support/*|savers/*|examples/*) qtfree=yes ;;
    platform/*.h) printf '%s\n' "$f" | grep -Eq "^$QT_FREE_PLATFORM$" && qtfree=yes ;;
    esac
    if [ $qtfree = yes ] && grep -En '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$f" >/dev/null; then
        echo "$f: includes Qt, which it must not" >&2
        status=1
    fi
    case $f in
    include/*|support/*|savers/*|examples/*)
        if grep -En '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(X11/|GL/glx)' "$f" >/dev/null; then
            echo "$f: includes the real Xlib or GLX headers; use the somnel/ ones" >&2
            status=1
        fi ;;
    esac
done
[ $status -eq 0 ] && echo "include layers: $(echo "$files" | wc -l) files checked, no include runs up a layer"
exit $status
