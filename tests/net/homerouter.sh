#!/usr/bin/env bash
# A home router on one machine, in network namespaces, for the hosting tests (needs root,
# iproute2, nftables; miniupnpd-nftables for the router's UPnP IGD and NAT-PMP service):
#
#   NAME-wan   a player on the internet          q20w0 11.77.20.1/24
#   NAME-rtr   the home router, NAT (masquerade) q20rw 11.77.20.2/24 (its "public" address)
#                                                q20rl 198.51.100.1/24
#   NAME-lan   the host's computer behind it     q20l0 198.51.100.10/24, default via .1
#
# The namespaces are joined only to each other; nothing in them reaches the machine's own network
# or the real internet. 11.77.20.0/24 stands in for a public address because miniupnpd refuses to
# map ports on a private or documentation address.
#
#   homerouter.sh up NAME upnp|natpmp|both|none   build it; the router's mapping service offers
#                                                 UPnP only, NAT-PMP only, both, or is not there
#   homerouter.sh down NAME                       stop miniupnpd and remove the namespaces
#   homerouter.sh rules NAME                      the router's nftables rules
set -euo pipefail
cmd=${1:?usage}; name=${2:?name}
W=$name-wan R=$name-rtr L=$name-lan
state=/run/$name-router

case $cmd in
up)
  service=${3:-none}
  "$0" down "$name" 2>/dev/null || true
  mkdir -p "$state"
  for n in $W $R $L; do ip netns add $n; ip -n $n link set lo up; done
  ip link add q20w0 netns $W type veth peer name q20rw netns $R
  ip link add q20l0 netns $L type veth peer name q20rl netns $R
  ip -n $W addr add 11.77.20.1/24 dev q20w0;    ip -n $W link set q20w0 up
  ip -n $R addr add 11.77.20.2/24 dev q20rw;    ip -n $R link set q20rw up
  ip -n $R addr add 198.51.100.1/24 dev q20rl;  ip -n $R link set q20rl up
  ip -n $L addr add 198.51.100.10/24 dev q20l0; ip -n $L link set q20l0 up
  ip -n $L route add default via 198.51.100.1
  ip netns exec $R sysctl -q -w net.ipv4.ip_forward=1
  # miniupnpd puts its rules into these chains; they must exist before it starts.
  ip netns exec $R nft -f - <<'NFT'
table inet filter {
  chain miniupnpd {
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
  chain forward {
    type filter hook forward priority 0; policy accept;
    jump miniupnpd
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
    oifname "q20rw" masquerade
  }
}
NFT
  case $service in
    upnp) upnp=yes natpmp=no ;;
    natpmp) upnp=no natpmp=yes ;;
    both) upnp=yes natpmp=yes ;;
    none) exit 0 ;;
    *) echo "upnp, natpmp, both or none" >&2; exit 2 ;;
  esac
  cat > "$state/miniupnpd.conf" <<CONF
ext_ifname=q20rw
listening_ip=q20rl
port=0
enable_natpmp=$natpmp
enable_upnp=$upnp
secure_mode=yes
system_uptime=yes
lease_file=$state/leases
uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d020
allow 1024-65535 198.51.100.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
CONF
  ip netns exec $R /usr/sbin/miniupnpd -d -f "$state/miniupnpd.conf" </dev/null >"$state/miniupnpd.log" 2>&1 &
  echo $! > "$state/miniupnpd.pid"
  # Ready once it listens: the UPnP HTTP port or the NAT-PMP port.
  for _ in $(seq 50); do
    if ip netns exec $R ss -Hlntu 2>/dev/null | grep -qE 'LISTEN|:5351 '; then exit 0; fi
    sleep 0.1
  done
  echo "miniupnpd did not start:" >&2; cat "$state/miniupnpd.log" >&2; exit 1
  ;;
down)
  if [ -f "$state/miniupnpd.pid" ]; then
    pid=$(cat "$state/miniupnpd.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  for n in $W $R $L; do ip netns del $n 2>/dev/null || true; done
  rm -rf "$state"
  ;;
rules)
  ip netns exec $R nft list ruleset
  ;;
*) echo "unknown command $cmd" >&2; exit 2 ;;
esac
