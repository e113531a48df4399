#!/bin/sh
# Fails when an include runs up a layer or crosses into what a layer must not
# see. The layers, bottom up, and what each may include from this tree:
#   include/somnel/  the public plain-C headers: only each other
#   platform/        only platform/
#   state/           state/, somnel/, and the Qt-free platform headers
#   xshim/           xshim/, state/, somnel/, and the Qt-free platform headers
#   support/         support/, state/, somnel/, and the Qt-free platform headers
#   framework/       platform/, state/, xshim/, support/, framework/, somnel/
#   savers/<name>/   somnel/ and its own folder (examples/<name>/ too)
#   host/            host/, platform/
# Public headers, savers, the emulation, the hack-side support, the state and
# the Qt-free platform headers include no Qt; hack-facing code never
# includes the real Xlib or GLX. And no source or header includes both Qt and
# the Xlib names of somnel/ (through any chain of includes): the None and
# True macros break Qt's headers, so such a file would build only in one
# include order.
# Usage: scripts/check_includes.sh [SOURCE_ROOT]
cd "${1:-$(dirname "$0")/..}" || exit 2

QT_FREE_PLATFORM='platform/(export|geometry|log|clock|value|preferences|bundle|timer|event|view|gl|context2d|font|desktop|idle|inhibit_service)\.h'

allowed() {  # allowed FILE INCLUDED -> 0 when FILE may include INCLUDED
    f=$1 inc=$2
    case $f in
    include/somnel/*) pat='^somnel/' ;;
    platform/*) pat='^platform/' ;;
    state/*) pat="^(state/|somnel/|$QT_FREE_PLATFORM$)" ;;
    xshim/*) pat="^(xshim/|state/|somnel/|$QT_FREE_PLATFORM$)" ;;
    support/*) pat="^(support/|state/|somnel/|$QT_FREE_PLATFORM$)" ;;
    framework/*) pat='^(platform|state|xshim|support|framework|somnel)/' ;;
    savers/*|examples/*) pat='^(somnel/|[^/]+$)' ;;
    host/*) pat='^(host|platform)/' ;;
    *) return 0 ;;
    esac
    printf '%s\n' "$inc" | grep -Eq "$pat"
}

status=0
files=$(find include platform state xshim support framework savers examples host \
    -name '*.h' -o -name '*.c' -o -name '*.cpp' 2>/dev/null | sort)
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
    include/*|state/*|xshim/*|support/*|savers/*|examples/*) qtfree=yes ;;
    platform/*.h) printf '%s\n' "$f" | grep -Eq "^$QT_FREE_PLATFORM$" && qtfree=yes ;;
    esac
    if [ $qtfree = yes ] && grep -En '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$f" >/dev/null; then
        echo "$f: includes Qt, which it must not" >&2
        status=1
    fi
    case $f in
    include/*|state/*|xshim/*|support/*|savers/*|examples/*)
        if grep -En '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(X11/|GL/glx)' "$f" >/dev/null; then
            echo "$f: includes the real Xlib or GLX headers; use the somnel/ ones" >&2
            status=1
        fi ;;
    esac
done

# Qt and the Xlib names, followed through every chain of project includes.
# A file reaches Qt when it or a file it includes (at any depth) has an
# #include <Q...>; it reaches the Xlib names when the chain gets to
# somnel/xshim_types.h, which defines them.
# shellcheck disable=SC2086
if ! awk -v XLIB=include/somnel/xshim_types.h '
    FNR == 1 { files[FILENAME] = 1; dir = FILENAME; sub(/\/[^\/]*$/, "", dir) }
    /^[ \t]*#[ \t]*include[ \t]*<Q/ { qt[FILENAME] = 1 }
    /^[ \t]*#[ \t]*include[ \t]*"/ {
        inc = $0; sub(/^[^"]*"/, "", inc); sub(/".*$/, "", inc)
        if (inc ~ /^somnel\//) inc = "include/" inc
        else if (inc !~ /\//) inc = dir "/" inc
        deps[FILENAME] = deps[FILENAME] " " inc
    }
    # via(f, kind): the include chain from f that reaches Qt ("qt") or the
    # Xlib names ("x"), "" when none does. Memoised; loops end at a file
    # already being followed.
    function via(f, kind,    key, n, list, i, got) {
        key = kind SUBSEP f
        if (key in memo) return memo[key]
        memo[key] = ""
        if (kind == "qt" && (f in qt)) return memo[key] = f
        if (kind == "x" && f == XLIB) return memo[key] = f
        n = split(deps[f], list, " ")
        for (i = 1; i <= n; i++) {
            if (!(list[i] in files)) continue
            got = via(list[i], kind)
            if (got != "") return memo[key] = f " -> " got
        }
        return ""
    }
    END {
        bad = 0
        for (f in files) {
            q = via(f, "qt"); x = via(f, "x")
            if (q != "" && x != "") {
                printf "%s: includes both Qt (%s) and the Xlib names of somnel/ (%s); split it into a Qt-facing file and an Xlib-facing one\n", f, q, x > "/dev/stderr"
                bad = 1
            }
        }
        exit bad
    }' $files; then
    status=1
fi

[ $status -eq 0 ] && echo "include layers: $(echo "$files" | wc -l) files checked, no include runs up a layer, no file meets both Qt and the Xlib names"
exit $status
