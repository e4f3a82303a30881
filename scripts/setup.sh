# Shared by ./run-demo and ./run-tests: the Debian packages Tovek2 needs and its build.
# Sourced, not run.

TOVEK2_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOVEK2_BUILD="$TOVEK2_ROOT/build"
# The whole build with AddressSanitizer and UndefinedBehaviorSanitizer, and the picture fuzzer.
TOVEK2_SANITIZE_BUILD="$TOVEK2_ROOT/build-sanitize"
TOVEK2_FUZZ_BUILD="$TOVEK2_ROOT/build-fuzz"

# To build the player and its tools.
# The build also synthesises the default tune that the package installs, with sox; the
# package's Depends are found with dpkg-shlibdeps.
BUILD_PACKAGES=(cmake make g++ qtbase5-dev libqt5opengl5-dev libphonon4qt5-dev libglu1-mesa-dev
    libx11-dev libxss-dev sox libsox-fmt-mp3 dpkg-dev)
# To play the show: Phonon's GStreamer back end with MP3 decoding, Mesa's OpenGL, Qt's Wayland
# platform for Wayland sessions, and sox for the default tune; ffmpeg encodes tovek2-capture's
# videos.
RUN_PACKAGES=(phonon4qt5-backend-gstreamer gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    libgl1-mesa-dri qtwayland5 sox libsox-fmt-mp3 ffmpeg)
# To test headless: a virtual screen with a window manager, the X extensions that press keys and
# read the pointer, a Wayland compositor with XWayland, GL call tracing, tools that make and inspect test pictures and videos, and a checker for the
# menu entry; GNOME's and KDE's Wayland compositors, the sound servers of desktops and Phonon's
# VLC back end, which KDE desktops install beside the GStreamer one, so that the player is
# tested where it has to choose.
TEST_PACKAGES=(xvfb xauth openbox x11-utils libxfixes-dev libxtst-dev weston xwayland mutter
    kwin-wayland apitrace imagemagick desktop-file-utils valgrind pulseaudio pulseaudio-utils
    pipewire pipewire-pulse wireplumber dbus-daemon phonon4qt5-backend-vlc)
# To fuzz the picture reader: clang with libFuzzer and the sanitizer runtimes (of the version
# that the release's clang is).
FUZZ_PACKAGES=(clang libclang-rt-dev)

# Installs whichever of the named packages are missing, as root or through sudo.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

# Configures (once) and builds the player, its tools and its tests in build/, or in the
# folder given first with the CMake options that follow it.
build_project() {
    local build=$TOVEK2_BUILD
    if [ $# -gt 0 ]; then
        build=$1
        shift
    fi
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$TOVEK2_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null ||
            return 1
    fi
    cmake --build "$build" -j"$(nproc)" -- --no-print-directory
}
