#!/usr/bin/env bash
# A private CUPS scheduler for the printing tests: cupsd on a unix socket inside DIR, two queues whose
# capture backend keeps each job's document and options in DIR/out. Never touches the machine's own
# scheduler or the user's settings: the printed environment points libcups inside DIR.
#   cups_sandbox.sh start DIR [--filters]   prints the environment lines (export ...) on success; with
#                               --filters the scheduler also converts documents with the machine's own
#                               filters (cups-filters), as a desktop's does
#   cups_sandbox.sh ipp DIR QUEUE FORMATS   adds a driverless (IPP Everywhere) queue QUEUE: a virtual
#                               printer (ippeveprinter, on a private D-Bus system bus) that takes the
#                               document formats FORMATS (comma-separated) and keeps each job's document
#                               in DIR/ipp-QUEUE; exit 3 when ippeveprinter or dbus-daemon is missing
#   cups_sandbox.sh stop DIR
set -euo pipefail

command=${1:?start, ipp or stop}
dir=${2:?folder}

stop_pid() {  # TERM, then KILL after 5 s; a zombie counts as stopped
  local pid
  pid=$(cat "$1")
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
    if [ -z "$state" ] || [[ "$state" == Z* ]]; then break; fi
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$1"
}

stop() {
  for pidfile in "$dir"/ipp-*.pid "$dir/cupsd.pid" "$dir/dbus.pid"; do
    if [ -f "$pidfile" ]; then stop_pid "$pidfile"; fi
  done
}

if [ "$command" = stop ]; then
  stop
  exit 0
fi

if [ "$command" = ipp ]; then
  queue=${3:?queue name}
  formats=${4:?document formats}
  ippeveprinter=$(command -v ippeveprinter || echo /usr/sbin/ippeveprinter)
  [ -x "$ippeveprinter" ] || { echo "ippeveprinter not installed (cups-ipp-utils)" >&2; exit 3; }
  command -v dbus-daemon >/dev/null || { echo "dbus-daemon not installed" >&2; exit 3; }
  export CUPS_SERVER="$dir/cups.sock" CUPS_SERVERROOT="$dir/client" HOME="$dir/home"
  # ippeveprinter will not start without a system bus to announce itself on: a private one, open to all.
  if [ ! -f "$dir/dbus.pid" ]; then
    cat > "$dir/dbus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$dir/dbus.sock</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF
    dbus-daemon --config-file="$dir/dbus.conf" --nofork > "$dir/log/dbus.out" 2>&1 &
    echo $! > "$dir/dbus.pid"
    for _ in $(seq 50); do [ -S "$dir/dbus.sock" ] && break; sleep 0.05; done
  fi
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$dir/ipp-$queue"
  # 60 pages a minute, in colour: a page is "printed" in a second.
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/dbus.sock" "$ippeveprinter" -r off -n localhost -p "$port" -k \
    -d "$dir/ipp-$queue" -f "$formats" -s 60,60 "$queue" > "$dir/log/ipp-$queue.out" 2>&1 &
  echo $! > "$dir/ipp-$queue.pid"
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
    sleep 0.05
  done
  ln -sfn /usr/lib/cups/backend/ipp "$dir/serverbin/backend/ipp"
  if ! lpadmin -p "$queue" -E -v "ipp://localhost:$port/ipp/print" -m everywhere 2>"$dir/log/lpadmin-$queue.out"; then
    echo "the driverless queue was not added:" >&2
    cat "$dir/log/lpadmin-$queue.out" "$dir/log/ipp-$queue.out" >&2
    exit 4
  fi
  exit 0
fi

cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
lpadmin=$(command -v lpadmin || echo /usr/sbin/lpadmin)
[ -x "$cupsd" ] || { echo "cupsd not installed" >&2; exit 3; }
[ -x "$lpadmin" ] || { echo "lpadmin not installed" >&2; exit 3; }
[ -d /usr/lib/cups/daemon ] || { echo "/usr/lib/cups/daemon missing" >&2; exit 3; }

mkdir -p "$dir"/{serverbin/backend,serverbin/filter,cache,state,spool,tmp,log,out,home,client,ppd}
ln -sfn /usr/lib/cups/daemon "$dir/serverbin/daemon"
if [ "${3:-}" = --filters ]; then
  # A private scheduler runs only the filters in its own folder.
  for filter in /usr/lib/cups/filter/*; do ln -sfn "$filter" "$dir/serverbin/filter/"; done
fi

cat > "$dir/serverbin/backend/capture" <<'BACKEND'
#!/bin/sh
# capture backend: copies the job's document and options (the queue, the options, the copies) into the
# folder of its device URI.
if [ $# -eq 0 ]; then echo 'direct capture "Unknown" "Capture"'; exit 0; fi
out=${DEVICE_URI#capture:}
if [ -n "$6" ]; then cp "$6" "$out/job-$1.pdf.tmp"; else cat > "$out/job-$1.pdf.tmp"; fi
printf '%s\n%s\ncopies=%s\n' "$PRINTER" "$5" "$4" > "$out/job-$1.options"
mv "$out/job-$1.pdf.tmp" "$out/job-$1.pdf"
exit 0
BACKEND
chmod 0755 "$dir/serverbin/backend/capture"

cat > "$dir/ppd/pv-test.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PVTEST.PPD"
*Manufacturer: "Test"
*Product: "(Capture)"
*ModelName: "Capture Printer"
*ShortNickName: "Capture Printer"
*NickName: "Capture Printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter2: "application/pdf application/vnd.cups-pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595.275590551 841.88976378]>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageSize 4x6/4x6 in: "<</PageSize[288 432]>>setpagedevice"
*PageSize 4x6.Borderless/4x6 in Borderless: "<</PageSize[288 432]>>setpagedevice"
*PageSize A6/A6: "<</PageSize[297.637795276 419.527559055]>>setpagedevice"
*PageSize 5x7/5x7 in: "<</PageSize[360 504]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595.275590551 841.88976378]>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*PageRegion 4x6/4x6 in: "<</PageSize[288 432]>>setpagedevice"
*PageRegion 4x6.Borderless/4x6 in Borderless: "<</PageSize[288 432]>>setpagedevice"
*PageRegion A6/A6: "<</PageSize[297.637795276 419.527559055]>>setpagedevice"
*PageRegion 5x7/5x7 in: "<</PageSize[360 504]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "12 12 583.275590551 829.88976378"
*ImageableArea Letter/US Letter: "12 12 600 780"
*ImageableArea 4x6/4x6 in: "9 9 279 423"
*ImageableArea 4x6.Borderless/4x6 in Borderless: "0 0 288 432"
*ImageableArea A6/A6: "9 9 288.637795276 410.527559055"
*ImageableArea 5x7/5x7 in: "9 9 351 495"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595.275590551 841.88976378"
*PaperDimension Letter/US Letter: "612 792"
*PaperDimension 4x6/4x6 in: "288 432"
*PaperDimension 4x6.Borderless/4x6 in Borderless: "288 432"
*PaperDimension A6/A6: "297.637795276 419.527559055"
*PaperDimension 5x7/5x7 in: "360 504"
*DefaultResolution: 300dpi
PPD

cat > "$dir/cupsd.conf" <<CONF
Listen $dir/cups.sock
Browsing No
DefaultAuthType None
LogLevel warn
WebInterface No
MaxJobs 0
PreserveJobHistory Yes
PreserveJobFiles No
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
<Location />
  Order allow,deny
  Allow all
</Location>
CONF

cat > "$dir/cups-files.conf" <<CONF
ServerRoot $dir
StateDir $dir/state
CacheDir $dir/cache
RequestRoot $dir/spool
TempDir $dir/tmp
ServerBin $dir/serverbin
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
PeerCred off
Sandboxing Relaxed
FileDevice No
CONF
echo "ServerName $dir/cups.sock" > "$dir/client/client.conf"

run=("$cupsd" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf")
if [ "$(id -u)" -eq 0 ]; then
  # cupsd as root would run the backend as another user; as nobody it runs everything as nobody.
  chown -R nobody "$dir"
  chmod 0755 "$dir"
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups "${run[@]}")
fi
"${run[@]}" > "$dir/log/cupsd.out" 2>&1 &
echo $! > "$dir/cupsd.pid"

export CUPS_SERVER="$dir/cups.sock" CUPS_SERVERROOT="$dir/client" HOME="$dir/home"
for _ in $(seq 100); do
  # lpstat -r exits 0 even when the scheduler is not running: read its words.
  if lpstat -r 2>/dev/null | grep -q "scheduler is running"; then break; fi
  sleep 0.05
done
if ! lpstat -r 2>/dev/null | grep -q "scheduler is running"; then
  echo "cupsd did not start:" >&2
  cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
  stop
  exit 4
fi
"$lpadmin" -p PV_Photo -E -v "capture:$dir/out" -P "$dir/ppd/pv-test.ppd" -D "Photo capture" -o PageSize=4x6 2>/dev/null
"$lpadmin" -p PV_Office -E -v "capture:$dir/out" -P "$dir/ppd/pv-test.ppd" -D "Office capture" 2>/dev/null
if [ "$(id -u)" -eq 0 ]; then chown -R nobody "$dir/out"; fi
echo "export CUPS_SERVER='$dir/cups.sock' CUPS_SERVERROOT='$dir/client' HOME='$dir/home'"
