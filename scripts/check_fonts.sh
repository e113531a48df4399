#!/bin/sh
# Runs the tests that touch fonts as on a machine that also has the URW base
# fonts (fonts-urw-base35, which comes with Ghostscript and ImageMagick, so
# many desktops have it): there the font configuration maps "Helvetica" to
# Nimbus Sans rather than Liberation Sans. The package is fetched with apt,
# unpacked into the build folder and shown to these tests only, through a
# private font configuration: the machine's own fonts stay as they are.
# Extra arguments go to ctest.
set -e
cd "$(dirname "$0")/.."
B=${SOMNEL_BUILD_DIR:-build}
D=$PWD/$B/fonts-check
mkdir -p "$D"
if [ ! -d "$D/root/usr/share/fonts" ]; then
  (cd "$D" && rm -f fonts-urw-base35_*.deb && apt-get download -q fonts-urw-base35 >/dev/null 2>&1 &&
   dpkg-deb -x fonts-urw-base35_*.deb root)
fi
# The machine's configuration with the package's rules in their place
# among the system's (61-urw-*, as the package installs them).
rm -rf "$D/conf.d"
mkdir -p "$D/conf.d"
for f in /etc/fonts/conf.d/*.conf; do ln -s "$(readlink -f "$f")" "$D/conf.d/$(basename "$f")"; done
for f in "$D"/root/usr/share/fontconfig/conf.avail/*.conf; do ln -s "$f" "$D/conf.d/61-$(basename "$f")"; done
sed -e "s#<include ignore_missing=\"yes\">conf.d</include>#<include ignore_missing=\"yes\">$D/conf.d</include>#" \
    -e "s#<dir>/usr/share/fonts</dir>#<dir>/usr/share/fonts</dir><dir>$D/root/usr/share/fonts</dir>#" \
    -e "s#<cachedir>/var/cache/fontconfig</cachedir>#<cachedir>$D/cache</cachedir>#" \
    /etc/fonts/fonts.conf >"$D/fonts.conf"
export FONTCONFIG_FILE="$D/fonts.conf"
echo "somnel: with the URW fonts, Helvetica is $(fc-match Helvetica)" >&2
export LIBGL_ALWAYS_SOFTWARE=1
cd "$B"
exec xvfb-run -a -s "-screen 0 1280x1024x24 +extension GLX -noreset" ctest --output-on-failure \
  -R 'xshim_font|texfont|fps|xshim_draw|xdiff|fuzz_corpus|modehost|drizzle_test' "$@"
