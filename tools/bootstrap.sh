# Sourced by ./run and ./test: installs what is missing on a Debian machine and builds.
# Packages each part of the project needs to build and test.
VARLOWE_PACKAGES=(
    cmake ninja-build g++ pkg-config   # the build
    libwxgtk3.2-dev                    # the desktop program and its settings
    libpcap-dev                        # live capture
    libspandsp-dev libopus-dev libsndfile1-dev  # a stream's audio: G.711, G.722, Opus, WAV
    libsdl2-dev                        # playing it
    libgtest-dev python3               # the tests
    xvfb xauth xdotool                 # tests that need a display, and real keys in them
    imagemagick                        # what the end-to-end tests see on that display
    librsvg2-bin                       # ImageMagick's SVG reader: the icon drawn at each size
    tshark                             # the oracle the packet listings are compared with
    sox                                # the oracle the decoded audio is compared with
    time                               # peak memory figures of the benchmarks
    clang-format                       # the formatting check of ./test
    clang libclang-rt-14-dev llvm      # the sanitizer build of ./test and the fuzzers
    git                                # the list of files the formatting check reads
    desktop-file-utils appstream       # the installed menu entry and description checked
    dpkg-dev fakeroot                  # the Debian package built and listed by the tests
)

varlowe_install_missing() {
    local missing=()
    local package
    for package in "${VARLOWE_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# varlowe_build DIR [CMAKE OPTIONS...]
varlowe_build() {
    local dir=$1
    shift
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$VARLOWE_ROOT" -B "$VARLOWE_ROOT/$dir" -G Ninja -DVARLOWE_WERROR=$werror "$@" >/dev/null
    cmake --build "$VARLOWE_ROOT/$dir" -j 2
}

# The same, quiet when it works and showing the whole log when it fails.
varlowe_build_quietly() {
    local log
    log=$(mktemp)
    if ! varlowe_build "$@" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "The build failed; the messages above say why." >&2
        return 1
    fi
    rm -f "$log"
}
