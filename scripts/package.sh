#!/usr/bin/env bash
# Makes the release zip of the three programs, ready to unpack on Windows:
#
#   regnet9/regnet9.exe  regnet9/KVL.icx   (704 zero bytes: COM1, address 0 everywhere)
#   regnet5/regnet5.exe  regnet5/KVL.icx   (280 zero bytes)
#   regsolo/regsolo.exe  regsolo/KVL.dfg   (sample: COM1, address 1)
#   START.txt                              how to start, in Russian and in English
#
# The network programs use the same file name with different layouts, so each
# has a folder of its own.
#
#   scripts/package.sh [OUTPUT.zip]   default: build/release/kvl-regulators-<version>.zip
#
# The programs are taken from KVL_WIN_BUILD_DIR (default build/win), which is
# configured and built first (only the three programs) unless KVL_NO_BUILD=1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${KVL_WIN_BUILD_DIR:-$root/build/win}
jobs=${KVL_JOBS:-2}
version=$(sed -n 's/^#define KVL_VERSION_TEXT "\(.*\)"/\1/p' "$root/resources/ids.h")
[ -n "$version" ] || { echo "package: no KVL_VERSION_TEXT in resources/ids.h" >&2; exit 1; }
out=${1:-$root/build/release/kvl-regulators-$version.zip}
case $out in /*) ;; *) out=$PWD/$out ;; esac
command -v zip >/dev/null || { echo "package: zip is not installed (apt-get install zip)" >&2; exit 1; }

if [ "${KVL_NO_BUILD:-}" != 1 ]; then
  cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake" >/dev/null
  ninja -C "$win" -j"$jobs" regnet9 regnet5 regsolo >/dev/null
fi
for p in regnet9 regnet5 regsolo; do
  [ -f "$win/windows/$p.exe" ] || { echo "package: no $win/windows/$p.exe" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for p in regnet9 regnet5 regsolo; do
  mkdir "$stage/$p"
  cp "$win/windows/$p.exe" "$stage/$p/"
done
head -c 704 /dev/zero >"$stage/regnet9/KVL.icx"
head -c 280 /dev/zero >"$stage/regnet5/KVL.icx"
printf '\000\001' >"$stage/regsolo/KVL.dfg"

# UTF-8 with a byte order mark and CRLF line ends, so Notepad shows it right.
{
  printf '\357\273\277'
  sed 's/$/\r/' <<TEXT
Программы регуляторов КВЛ30 и ВПЗ, версия $version
==================================================

КАК НАЧАТЬ
Каждая программа работает из своей папки и читает свой файл настройки из
этой папки. Распакуйте архив целиком, не перекладывая файлы из папок.

regnet9 (сеть до 9 регуляторов) и regnet5 (до 5):
  1. Запустите regnet9.exe (regnet5.exe) из его папки. KVL.icx рядом с ним
     задаёт порт COM1 и адрес 0 всем каналам.
  2. "Связь с регулятором" -> "Настройка сети  с интерфейсом RS-485":
     выберите порт, нажмите "Открыть порт ", наберите адрес регулятора
     под каналом и нажмите "Установить связь" (или "Проверка связи" для
     всех каналов), затем "Запомнить кофигурацию" и OK.
  3. "Вывести на экран" в строке меню показывает каналы каждые 700 мс.

regsolo (один регулятор):
  1. Запустите regsolo.exe из его папки. KVL.dfg рядом с ним задаёт
     порт COM1 и адрес 1.
  2. "Связь с регулятором ": порт, "Открыть порт ", адрес,
     "Установить связь", OK.
  3. "Вывод данных" -> "Вывести на экран" показывает строку состояния.

Номер COM-порта адаптера USB-RS-485 виден в Диспетчере устройств Windows.
Программы работают в Windows 7 - 11 без установки и без прав администратора.


Programs for the KVL30 and VPZ regulators, version $version
=========================================================

HOW TO START
Each program runs from its own folder and reads its configuration file from
that folder. Unpack the whole archive and keep the files in their folders.

regnet9 (a network of up to 9 regulators) and regnet5 (up to 5):
  1. Start regnet9.exe (regnet5.exe) from its folder. The KVL.icx beside it
     sets port COM1 and address 0 for every channel.
  2. Menu "Связь с регулятором" -> "Настройка сети  с интерфейсом RS-485":
     choose the port, press "Открыть порт ", type the regulator's address
     under a channel and press "Установить связь" (or "Проверка связи" for
     every channel), then "Запомнить кофигурацию" and OK.
  3. "Вывести на экран" on the menu bar shows the channels every 700 ms.

regsolo (one regulator):
  1. Start regsolo.exe from its folder. The KVL.dfg beside it sets port
     COM1 and address 1.
  2. "Связь с регулятором ": the port, "Открыть порт ", the address,
     "Установить связь", OK.
  3. "Вывод данных" -> "Вывести на экран" shows the status line.

The COM port number of a USB-RS-485 adapter is shown in the Windows Device
Manager. The programs run on Windows 7 to 11 with no installation and no
administrator rights.
TEXT
} >"$stage/START.txt"

mkdir -p "$(dirname "$out")"
rm -f "$out"
(cd "$stage" && zip -q -X -r "$out" START.txt regnet9 regnet5 regsolo)
echo "$out"
