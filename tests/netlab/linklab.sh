#!/usr/bin/env bash
# A small internet in network namespaces for the link tests (root, iproute2, nftables, tc):
#
#   NAME-wan   a player on the internet           qw0 11.77.0.1/24
#   NAME-rtr   a home router, NAT (masquerade)    qrw 11.77.0.2/24 (its public address)
#                                                 qrl 198.51.100.1/24
#   NAME-lan   the host's computer behind it      ql0 198.51.100.10/24, default via .1
#
# The namespaces are joined only to each other; nothing in them reaches the machine's own
# network. NAME should start with the test's own prefix and be at most 10 characters.
#
#   linklab.sh check              exit 0 when this machine can build a lab (root, tools)
#   linklab.sh sweep PREFIX       remove labs PREFIXpid-* whose test process (pid) is gone
#   linklab.sh up NAME            build it
#   linklab.sh down NAME          remove it (every namespace of NAME)
#   linklab.sh forward NAME PORT  the router forwards 11.77.0.2:PORT to the host
#   linklab.sh pull NAME          the cable is pulled: the router silently drops everything
#   linklab.sh plug NAME          the cable is back
#   linklab.sh rate NAME KBIT     the router forwards at most KBIT kbit/s each way (0: no limit)
set -euo pipefail
cmd=${1:?usage}

if [ "$cmd" = check ]; then
  [ "$(id -u)" = 0 ] || { echo "not root"; exit 1; }
  for tool in ip nft tc; do command -v $tool >/dev/null || { echo "$tool missing"; exit 1; }; done
  probe=q17probe$$
  ip netns add $probe 2>/dev/null || { echo "ip netns add fails here"; exit 1; }
  ok=1
  ip netns exec $probe nft list tables >/dev/null 2>&1 || ok=0
  ip netns del $probe
  [ $ok = 1 ] || { echo "nftables does not work in a namespace"; exit 1; }
  exit 0
fi

if [ "$cmd" = sweep ]; then
  prefix=${2:?prefix}
  for ns in $(ip netns list | awk '{print $1}' | grep "^$prefix[0-9]*-" || true); do
    pid=${ns#$prefix}; pid=${pid%%-*}
    kill -0 "$pid" 2>/dev/null || ip netns del "$ns" 2>/dev/null || true
  done
  exit 0
fi

name=${2:?name}
W=$name-wan R=$name-rtr L=$name-lan

case $cmd in
up)
  for n in $W $R $L; do ip netns del $n 2>/dev/null || true; ip netns add $n; ip -n $n link set lo up; done
  ip link add qw0 netns $W type veth peer name qrw netns $R
  ip link add ql0 netns $L type veth peer name qrl netns $R
  ip -n $W addr add 11.77.0.1/24 dev qw0;  ip -n $W link set qw0 up
  ip -n $W route add default via 11.77.0.2
  ip -n $R addr add 11.77.0.2/24 dev qrw;  ip -n $R link set qrw up
  ip -n $R addr add 198.51.100.1/24 dev qrl; ip -n $R link set qrl up
  ip -n $L addr add 198.51.100.10/24 dev ql0; ip -n $L link set ql0 up
  ip -n $L route add default via 198.51.100.1
  ip netns exec $R sysctl -q -w net.ipv4.ip_forward=1
  ip netns exec $R nft -f - <<'NFT'
table inet lab {
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    oifname "qrw" masquerade
  }
}
NFT
  ;;
down)
  for n in $W $R $L; do ip netns del $n 2>/dev/null || true; done
  ;;
forward)
  port=${3:?port}
  ip netns exec $R nft add rule inet lab prerouting iifname qrw tcp dport "$port" dnat ip to "198.51.100.10:$port"
  ;;
pull)
  ip netns exec $R nft -f - <<'NFT'
table inet pulled {
  chain forward {
    type filter hook forward priority -10; policy drop;
  }
}
NFT
  ;;
plug)
  ip netns exec $R nft delete table inet pulled 2>/dev/null || true
  ;;
rate)
  kbit=${3:?kbit}
  for dev in qrw qrl; do
    ip netns exec $R tc qdisc del dev $dev root 2>/dev/null || true
    [ "$kbit" = 0 ] || ip netns exec $R tc qdisc add dev $dev root tbf rate "${kbit}kbit" burst 32kbit latency 400ms
  done
  ;;
*) echo "unknown command $cmd" >&2; exit 2 ;;
esac
