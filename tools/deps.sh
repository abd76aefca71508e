# Shared by test.sh and orva.sh: installs the Debian packages the build,
# the program and the tests need, only when something is missing.
ORVA_PACKAGES=(
  cmake ninja-build g++ clang lld pkg-config
  libx11-dev libxtst-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libfreetype-dev libfontconfig-dev
  fonts-dejavu-core fonts-liberation2 libjpeg62-turbo-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  xvfb xauth xdg-utils xclip openbox x11-utils
  python3-astropy python3-numpy python3-pil libcfitsio-bin fitsverify
  libjpeg-turbo-progs imagemagick libcfitsio-dev netpbm
  python3-scipy libopencv-dev
)

orva_ensure_packages() {
  local missing=()
  local p
  for p in "${ORVA_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}
