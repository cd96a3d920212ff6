#!/usr/bin/env bash
# Installs whatever Quenvar needs to build, run and test that is not yet on
# this Debian machine. Quiet and quick when everything is already there.
set -euo pipefail

packages=(g++ make ninja-build cmake qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev zlib1g-dev p7zip-full fonts-dejavu-core)
if [ "${1:-}" = "--test" ]; then
  # strace lets a test see the order of flushes and renames of an update;
  # unzip, zip, bzip2, xz, python3 (zipfile) and bsdtar (libarchive-tools)
  # are the readers and writers of other systems that archives must travel to;
  # the installation test asks the desktop's own tools about the installed
  # entry, the MIME type, the associations and the manual page; Python's
  # tarfile and zipfile write archives with names in other code pages.
  packages+=(xauth strace unzip zip bzip2 xz-utils xdg-utils desktop-file-utils libfile-mimeinfo-perl
             shared-mime-info man-db python3 libarchive-tools)
elif [ "${1:-}" = "--fuzz" ]; then
  # clang with libFuzzer for fuzz/run_qv_fuzzer.sh.
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
