#!/usr/bin/env bash
# scripts/farm-capture.sh against a single-run capture of the same stretch
# (2000 to 8000 ms at 10 fps, 256 x 192, three stretches of 2 s): through
# GNU parallel's SSH path to an sshd this test starts on 127.0.0.1 with keys
# it makes (and a host that does not answer, left out); with a stretch that
# fails once and is tried again elsewhere; and through local jobs with a
# stretch that fails for good, whose run keeps the other stretches and is
# resumed by the same command.
#
#   farm-capture-test.sh PROGRAM      (DEMO_DATA_DIR: the data folder;
#                                      DEMO_TEST_TMP: the scratch folder)
#
# The program runs as installed: a copy of it with its data beside it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
farm="$root/scripts/farm-capture.sh"
[ $# -eq 1 ] && [ -x "$1" ] || { echo "usage: $0 PROGRAM" >&2; exit 2; }
tmp=$(mktemp -d "${DEMO_TEST_TMP:-/tmp}/farm-capture.XXXXXX")
sshd_pid=""
cleanup() {
  [ -z "$sshd_pid" ] || kill "$sshd_pid" 2>/dev/null || true
  [ -z "$sshd_pid" ] || wait "$sshd_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
mkdir -p "$tmp/bin"
cp "$1" "$tmp/bin/"
ln -s "${DEMO_DATA_DIR:?}" "$tmp/bin/data"
program="$tmp/bin/$(basename "$1")"
range=(--from 2000 --to 8000 --fps 10 --size 256x192)
frame_bytes=$((256 * 192 * 3))

"$program" --capture "$tmp/single.mkv" "${range[@]}" 2>"$tmp/single.log" || { cat "$tmp/single.log"; exit 1; }
probe() { # FILE STREAM: the stream's packets' timestamps and durations
  ffprobe -v error -select_streams "$2" -show_entries packet=pts,duration -of csv=p=0 "$1"
}
frames() { ffmpeg -v error -i "$1" -map 0:v -f framemd5 - | grep -v '^#'; }
probe "$tmp/single.mkv" v:0 >"$tmp/single.vpts"
probe "$tmp/single.mkv" a:0 >"$tmp/single.apts"
frames "$tmp/single.mkv" >"$tmp/single.frames"
ffmpeg -v error -i "$tmp/single.mkv" -map 0:v -f rawvideo -pix_fmt rgb24 - >"$tmp/single.rgb"
sound=$(ffmpeg -v error -i "$tmp/single.mkv" -map 0:a -f md5 -)
[ "$(wc -l <"$tmp/single.frames")" -eq 60 ] || fail "the single run has $(wc -l <"$tmp/single.frames") frames, not 60"

# same CASE FILE: the joined file has the single run's frames, timestamps
# and sound. A frame may differ from the single run's only where llvmpipe
# rounds a pixel one step otherwise after other draws before it (a stretch
# starts from a replay, not from the frames before it): by 1 in a channel, in
# at most 1 % of its pixels. Prints what differs.
same() {
  local case=$1 file=$2
  [ -s "$file" ] || { fail "$case: no $file"; return; }
  probe "$file" v:0 | cmp -s - "$tmp/single.vpts" || fail "$case: the frames' timestamps differ from the single run's"
  probe "$file" a:0 | cmp -s - "$tmp/single.apts" || fail "$case: the sound's timestamps differ from the single run's"
  [ "$(ffmpeg -v error -i "$file" -map 0:a -f md5 -)" = "$sound" ] || fail "$case: the sound differs from the single run's"
  frames "$file" >"$tmp/joined.frames"
  [ "$(wc -l <"$tmp/joined.frames")" -eq 60 ] || fail "$case: $(wc -l <"$tmp/joined.frames") frames, not 60"
  cmp -s "$tmp/joined.frames" "$tmp/single.frames" || {
    ffmpeg -v error -i "$file" -map 0:v -f rawvideo -pix_fmt rgb24 - >"$tmp/joined.rgb"
    # cmp -l: byte offset (from 1), then both bytes in octal.
    { cmp -l "$tmp/single.rgb" "$tmp/joined.rgb" || true; } | awk -v fb="$frame_bytes" -v size="$(stat -c %s "$tmp/single.rgb")" -v case="$case" '
      function value(octal,  v, i) { v = 0; for (i = 1; i <= length(octal); i++) v = v * 8 + substr(octal, i, 1); return v }
      { d = value($2) - value($3); if (d < 0) d = -d; if (d > most) most = d
        pixel = int(($1 - 1) / 3); if (pixel != last) { count[int(($1 - 1) / fb)]++; total++ }; last = pixel }
      END { limit = fb / 3 / 100
            for (f = 0; f * fb < size; f++) if (f in count) { list = list " " f ":" count[f]; if (count[f] > limit) over = 1 }
            printf "%s: %d pixels differ by up to %d, in frames (frame:pixels)%s\n", case, total, most, list
            exit (most > 1 || over) }' || fail "$case: frames differ beyond llvmpipe's rounding"
  }
}

# 1. SSH: an sshd of the test's own on a free loopback port, a host key and a
# user key made here.
mkdir -p /run/sshd 2>/dev/null || true # sshd's privilege separation folder (as root)
ssh-keygen -q -t ed25519 -N '' -f "$tmp/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$tmp/user_key"
cp "$tmp/user_key.pub" "$tmp/authorized_keys"
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=$((20000 + $$ % 20000))
while ! port_free "$port" || ! port_free $((port + 1)); do port=$((port + 2)); done
cat >"$tmp/sshd_config" <<EOF
ListenAddress 127.0.0.1:$port
HostKey $tmp/host_key
PidFile $tmp/sshd.pid
AuthorizedKeysFile $tmp/authorized_keys
UsePAM no
PermitRootLogin yes
PasswordAuthentication no
KbdInteractiveAuthentication no
StrictModes no
EOF
/usr/sbin/sshd -D -e -f "$tmp/sshd_config" 2>"$tmp/sshd.log" &
sshd_pid=$!
ssh_login() { # PORT: the login line of a host at 127.0.0.1:PORT
  echo "ssh -p $1 -i $tmp/user_key -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes \
-o LogLevel=ERROR -o ConnectTimeout=20 $(id -un)@127.0.0.1"
}
tries=0
until ssh $(ssh_login "$port" | cut -d' ' -f2-) true 2>/dev/null; do
  tries=$((tries + 1))
  [ "$tries" -lt 600 ] && kill -0 "$sshd_pid" 2>/dev/null || { cat "$tmp/sshd.log" >&2; echo "FAIL: sshd did not start" >&2; exit 1; }
  sleep 0.1
done
{
  echo "# the test's sshd, and a host that does not answer (nothing listens there)"
  echo "2/$(ssh_login "$port")"
  echo "1/$(ssh_login $((port + 1)))"
} >"$tmp/ssh-hosts"
"$farm" "$tmp/ssh.mkv" "${range[@]}" --stretch 2 --hosts "$tmp/ssh-hosts" --program "$program" --keep \
  2>"$tmp/ssh.log" || { cat "$tmp/ssh.log" >&2; fail "ssh: the script failed"; }
same "ssh" "$tmp/ssh.mkv"
grep -q "leaving out 1/ssh -p $((port + 1)) " "$tmp/ssh.log" || fail "ssh: the host that does not answer is not named"
[ "$(awk -F'\t' 'NR > 1 && $2 ~ /^ssh -p '"$port"' / && $7 == 0' "$tmp/ssh.mkv.farm/jobs.log" | wc -l)" -eq 3 ] ||
  fail "ssh: not every stretch ran through ssh ($(cut -f2,7 "$tmp/ssh.mkv.farm/jobs.log" | tr '\n' ';'))"
ls ~/stretch-*.mkv >/dev/null 2>&1 && fail "ssh: pieces are left in the remote login folder"

# 2. A host wrapper that fails a stretch's capture while a flag file is there
# (once: it removes the flag; for good: it keeps it), logging every capture.
wrapper="$tmp/bin/wrapper" # beside the data, as the program
cat >"$wrapper" <<EOF
#!/bin/sh
for a; do case "\$a" in *.mkv) piece=\$a ;; esac; done
[ -z "\${piece:-}" ] || echo "\$piece" >>"$tmp/captures"
for flag in "$tmp"/fail-once-*; do
  [ -e "\$flag" ] || continue
  case "\${piece:-}" in *-\${flag##*fail-once-}.mkv) rm -f "\$flag"; echo "no GL today" >&2; exit 3 ;; esac
done
for flag in "$tmp"/fail-always-*; do
  [ -e "\$flag" ] || continue
  case "\${piece:-}" in *-\${flag##*fail-always-}.mkv) echo "no GL today" >&2; exit 3 ;; esac
done
exec "$program" "\$@"
EOF
chmod +x "$wrapper"
printf '1/:\n1/%s\n' "$(ssh_login "$port")" >"$tmp/mixed-hosts"
touch "$tmp/fail-once-0002"
"$farm" "$tmp/retry.mkv" "${range[@]}" --stretch 2 --hosts "$tmp/mixed-hosts" --program "$wrapper" \
  2>"$tmp/retry.log" || { cat "$tmp/retry.log" >&2; fail "retry: the script failed"; }
same "retry" "$tmp/retry.mkv"
grep -q "stretch 0002 (--from 4000 --to 6000) failed on .*, exit 3): no GL today" "$tmp/retry.log" ||
  fail "retry: no line says which stretch failed where"
[ "$(grep -c -- '-0002\.mkv$' "$tmp/captures")" -eq 2 ] || fail "retry: stretch 2 was not tried twice"

# 3. Local jobs, with a stretch that fails for good: the run fails, says
# so, writes nothing under the output's name and keeps the stretches back;
# the same command then renders only the missing one.
: >"$tmp/captures"
touch "$tmp/fail-always-0003"
args=("$tmp/resumed.mkv" "${range[@]}" --stretch 2 --jobs 2 --retries 1 --program "$wrapper")
if "$farm" "${args[@]}" 2>"$tmp/failed.log"; then fail "resume: a run with a stretch failing for good succeeded"; fi
grep -q "stretch 0003 (--from 6000 --to 8000) failed on .*, exit 3): no GL today" "$tmp/failed.log" ||
  fail "resume: no line says which stretch failed where"
grep -q "1 of 3 stretches missing: 0003 " "$tmp/failed.log" || fail "resume: the missing stretch is not named"
[ -z "$(find "$tmp" -maxdepth 1 -name 'resumed.mkv*' ! -name '*.farm')" ] ||
  fail "resume: something is left under the output's name"
rm -f "$tmp/fail-always-0003"
: >"$tmp/captures"
"$farm" "${args[@]}" 2>"$tmp/resumed.log" || { cat "$tmp/resumed.log" >&2; fail "resume: the second run failed"; }
same "resume" "$tmp/resumed.mkv"
[ "$(grep -c . "$tmp/captures")" -eq 1 ] && grep -q -- '-0003\.mkv$' "$tmp/captures" ||
  fail "resume: the second run captured $(paste -sd' ' "$tmp/captures"), not only stretch 3"
[ ! -e "$tmp/resumed.mkv.farm" ] || fail "resume: the folder of stretches is left"

if [ "$failures" -gt 0 ]; then
  for log in "$tmp"/*.log; do echo "== $log"; cat "$log"; done >&2
  exit 1
fi
echo "farm-capture-test: all cases passed"
