# Shared by ./run-demo and ./run-tests: the Debian packages Tovek2 needs and its build.
# Sourced, not run.

TOVEK2_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# True when the package is installed. (The output is read whole: under pipefail, a grep -q
# that stops reading early fails the command that writes to it.)
is_installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == *"install ok installed"* ]]
}

# True when apt knows a version of the package to install (or it is installed).
is_available() {
    is_installed "$1" || [[ $(apt-cache policy "$1" 2>/dev/null) == *"Candidate: "[!\(]* ]]
}

# Runs apt-get as root, or through sudo.
as_root_apt_get() {
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get "$@"
}

# The Qt to build with: TOVEK2_QT (5 or 6) when set, else Qt 5 wherever the release still
# offers its development packages (Debian 12 and 13), else Qt 6.
choose_qt() {
    case ${TOVEK2_QT:-} in
    5 | 6) echo "$TOVEK2_QT" ;;
    "")
        # Package lists that know neither Qt (a fresh container) are read again first.
        if ! is_available qtbase5-dev && ! is_available qt6-base-dev; then
            as_root_apt_get update -qq >&2 || return 1
        fi
        if is_available qtbase5-dev; then
            echo 5
        else
            echo 6
        fi
        ;;
    *)
        echo "TOVEK2_QT is '$TOVEK2_QT': it must be 5 or 6" >&2
        return 1
        ;;
    esac
}
TOVEK2_QT=$(choose_qt) || exit 2
if [ "$TOVEK2_QT" = 6 ] && ! is_available libphonon4qt6-dev; then
    echo "This release offers no Phonon for Qt 6 (Debian 13 and later do): build with Qt 5" >&2
    exit 2
fi

# Each Qt has builds of its own: build/ (Qt 5) or build-qt6/, and the sanitized and fuzzing
# builds beside them.
if [ "$TOVEK2_QT" = 5 ]; then
    TOVEK2_BUILD="$TOVEK2_ROOT/build"
    TOVEK2_SANITIZE_BUILD="$TOVEK2_ROOT/build-sanitize"
    TOVEK2_FUZZ_BUILD="$TOVEK2_ROOT/build-fuzz"
else
    TOVEK2_BUILD="$TOVEK2_ROOT/build-qt6"
    TOVEK2_SANITIZE_BUILD="$TOVEK2_ROOT/build-qt6-sanitize"
    TOVEK2_FUZZ_BUILD="$TOVEK2_ROOT/build-qt6-fuzz"
fi

# Qt and Phonon. With Qt 5 the player plays through Phonon's GStreamer back end; VLC's, which
# KDE desktops install beside it, is there for the tests, so that the player is tested where
# it has to choose. Phonon for Qt 6 has VLC's back end only.
if [ "$TOVEK2_QT" = 5 ]; then
    QT_BUILD_PACKAGES=(qtbase5-dev libqt5opengl5-dev libphonon4qt5-dev)
    QT_RUN_PACKAGES=(phonon4qt5-backend-gstreamer gstreamer1.0-plugins-base
        gstreamer1.0-plugins-good qtwayland5)
    QT_TEST_PACKAGES=(phonon4qt5-backend-vlc)
else
    QT_BUILD_PACKAGES=(qt6-base-dev libphonon4qt6-dev)
    QT_RUN_PACKAGES=(phonon4qt6-backend-vlc qt6-wayland)
    QT_TEST_PACKAGES=()
fi

# To build the player and its tools; the bench records the desktop's sound through libpulse.
# The build also synthesises the default tune that the package installs, with sox, and makes the
# man pages with help2man; the package's Depends are found and the release is dated from its
# changelog with dpkg-dev's tools.
BUILD_PACKAGES=(cmake make g++ "${QT_BUILD_PACKAGES[@]}" libglu1-mesa-dev libx11-dev libxss-dev
    libpulse-dev sox libsox-fmt-mp3 help2man dpkg-dev)
# To play the show: Phonon's back end with MP3 decoding, Mesa's OpenGL, Qt's Wayland platform
# for Wayland sessions, and sox for the default tune; ffmpeg encodes tovek2-capture's videos.
RUN_PACKAGES=("${QT_RUN_PACKAGES[@]}" libgl1-mesa-dri sox libsox-fmt-mp3 ffmpeg)
# To test headless: a virtual screen with a window manager, the X extensions that press keys and
# read the pointer, a Wayland compositor with XWayland, GL call tracing, tools that make and
# inspect test pictures and videos, checkers for the menu entry, the AppStream metadata and the
# Debian package, and man to read the man pages; GNOME's and KDE's Wayland compositors and the
# sound servers of desktops.
TEST_PACKAGES=(xvfb xauth openbox x11-utils libxfixes-dev libxtst-dev weston xwayland mutter
    kwin-wayland apitrace imagemagick desktop-file-utils appstream lintian man-db valgrind
    pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon
    "${QT_TEST_PACKAGES[@]}")
# To fuzz the picture reader: clang with libFuzzer and the sanitizer runtimes (of the version
# that the release's clang is).
FUZZ_PACKAGES=(clang libclang-rt-dev)

# Installs whichever of the named packages are missing, as root or through sudo.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        is_installed "$package" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    as_root_apt_get update -qq &&
        as_root_apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures (once) and builds the player, its tools and its tests with the chosen Qt in its
# build folder, or in the folder given first with the CMake options that follow it.
build_project() {
    local build=$TOVEK2_BUILD
    if [ $# -gt 0 ]; then
        build=$1
        shift
    fi
    configure_project "$build" "$@" && cmake --build "$build" -j"$(nproc)" -- --no-print-directory
}

# Builds only the named targets (and what they are made from) in the chosen Qt's build folder.
build_targets() {
    configure_project "$TOVEK2_BUILD" &&
        cmake --build "$TOVEK2_BUILD" -j"$(nproc)" --target "$@" -- --no-print-directory
}

# Configures the build folder given first, with the CMake options that follow it, unless it is.
configure_project() {
    local build=$1
    shift
    [ -f "$build/CMakeCache.txt" ] ||
        cmake -S "$TOVEK2_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DTOVEK2_QT="$TOVEK2_QT" "$@" >/dev/null
}
