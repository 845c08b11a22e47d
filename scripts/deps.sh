#!/bin/bash
# Installs the Debian packages Orvelle needs to build, test and run, but only
# those that are missing. Sourced by run.sh and test.sh.

ORVELLE_PACKAGES=(
  build-essential cmake pkg-config git
  qtbase5-dev qttools5-dev qttools5-dev-tools qtmultimedia5-dev libqt5svg5-dev
  libqt5multimedia5-plugins qt5-image-formats-plugins qttranslations5-l10n
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libjsoncpp-dev libgtest-dev googletest
  libssl-dev
  libewf-dev ewf-tools
  xvfb xauth x11-utils ffmpeg fontconfig fonts-dejavu-core fonts-wqy-microhei
  help2man dpkg-dev fakeroot file lintian desktop-file-utils appstream man-db
)

orvelle_missing_packages() {
  local missing=() p
  for p in "${ORVELLE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]}"
}

orvelle_install_deps() {
  local missing
  missing=$(orvelle_missing_packages)
  [ -z "$missing" ] && return 0
  echo "Installing missing packages: $missing"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
      echo "Missing packages and not root: please install: $missing" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q || true
  # shellcheck disable=SC2086
  $sudo apt-get install -y -q --no-install-recommends $missing
}
