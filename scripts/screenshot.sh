#!/bin/bash
# Remakes docs/screenshot.png: a standard test run against pages on this computer, on a virtual
# screen. Needs a build, python3, curl, Xvfb and ImageMagick's import(1).
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=$PWD/build/bin
WORK=$(mktemp -d)
PIDS=()
cleanup() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$WORK"; }
trap cleanup EXIT

# Three sites with a few images each.
PORT=$((20000 + RANDOM % 20000))
for site in news shop photos; do
  mkdir -p "$WORK/www/$site"
  body="<html><body><h1>$site</h1>"
  for i in 1 2 3; do
    head -c $((RANDOM / 2 + 8000)) /dev/urandom > "$WORK/www/$site/img$i.jpg"
    body="$body<img src=\"img$i.jpg\">"
  done
  printf '%s%s</body></html>' "$body" "$(head -c 10000 /dev/zero | tr '\0' 'x')" > "$WORK/www/$site/index.html"
done
# A server that paces its sends, so the speeds look like a real line's.
python3 - "$WORK/www" "$PORT" <<'PY' & PIDS+=($!)
import http.server, os, sys, time
root, port = sys.argv[1], int(sys.argv[2])
class Paced(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        path = os.path.join(root, self.path.lstrip("/"))
        if os.path.isdir(path):
            path = os.path.join(path, "index.html")
        try:
            data = open(path, "rb").read()
        except OSError:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        for i in range(0, len(data), 4096):
            self.wfile.write(data[i:i + 4096])
            time.sleep(4096 / 60000)
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(("127.0.0.1", port), Paced).serve_forever()
PY

# The reference service with those sites, a user and a profile.
python3 - "$WORK/seed.json" "$PORT" <<'PY'
import json, sys
seed = json.load(open("data/service-seed.json"))
seed["sites"] = ["127.0.0.1:%s/%s" % (sys.argv[2], s) for s in ("news", "shop", "photos")]
json.dump(seed, open(sys.argv[1], "w"))
PY
"$BIN/veloqua-service" --listen 127.0.0.1:0 --database "$WORK/service.sqlite" --seed "$WORK/seed.json" \
  > "$WORK/service.log" 2>&1 & PIDS+=($!)
for _ in $(seq 50); do grep -q "listening on" "$WORK/service.log" && break; sleep 0.1; done
ENDPOINT=$(grep -o 'http://127.0.0.1:[0-9]*/Veloqua/wsVeloqua.asmx' "$WORK/service.log" | head -1)
soap() {
  curl -s "$ENDPOINT" -H 'Content-Type: text/xml; charset=utf-8' \
    -H "SOAPAction: \"http://tavistel.invalid/Veloqua/Service1/$1\"" \
    --data "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><$1 xmlns=\"http://tavistel.invalid/Veloqua/Service1\">$2</$1></soap:Body></soap:Envelope>" |
    sed -n "s:.*<$1Result>\([0-9]*\)</$1Result>.*:\1:p"
}
USER_ID=$(soap SaveUser "<ProcessorType>x86-64</ProcessorType><ProcessorSpeed>2400</ProcessorSpeed><OS>Debian GNU/Linux 12</OS><OSVersion> Build 6.1.0</OSVersion><SysManufacturer>Tavistel</SysManufacturer><SysModel>Desk</SysModel>")
PROFILE_ID=$(soap SaveProfile "<ProfileId>0</ProfileId><UserId>$USER_ID</UserId><MacAddress>52-54-00-12-34-56</MacAddress><Name>Default</Name><IPAddress>127.0.0.1</IPAddress><ISPId>2</ISPId><ZipCode>10115</ZipCode><State>--</State><Country>GERMANY</Country><TimeZone>-60</TimeZone><SatisfactionLevel>Satisfied</SatisfactionLevel><ContractSpeed>50 Mbps</ContractSpeed><ConnectionTypeId>3</ConnectionTypeId>")

# A registered user whose profile fits this computer; a standard run each time the window shows.
export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_CONFIG_HOME/Tavistel Utilities/veloqua" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cat > "$XDG_CONFIG_HOME/Tavistel Utilities/veloqua/veloqua.ini" <<INI
[Config]
ProxyLoaded=1
ServerURL=$ENDPOINT
RefreshInterval=5
[Position]
Left=0
Top=0
[UserInfo]
UserId=$USER_ID
LastProfile=Default
[Profiles]
Default=$PROFILE_ID
[PrfDefault]
IPAddress=127.0.0.1
INI

export DISPLAY=:$((90 + RANDOM % 9))
Xvfb "$DISPLAY" -screen 0 690x460x24 -nolisten tcp >/dev/null 2>&1 & PIDS+=($!)
sleep 1
"$BIN/veloqua" >/dev/null 2>&1 & PIDS+=($!)
sleep "${WAIT:-8}"
import -window root docs/screenshot.png
echo "docs/screenshot.png written"
