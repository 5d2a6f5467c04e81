#pragma once

class QAbstractSocket;

namespace quillora {

// How soon a connection whose peer vanished without a word (a pulled cable, a sleeping laptop,
// a router that lost its state) is given up. The kernel probes an idle connection and gives up
// on data that stays unacknowledged; either way the socket then fails like a timed-out one, so
// the owner's ordinary error path runs. Nothing changes on the wire: probes are plain TCP
// keepalives that every peer answers.
struct LinkHealthTimers {
  int idle_s = 10;          // quiet time before the first probe
  int interval_s = 5;       // between probes
  int probes = 3;           // unanswered probes before the connection is given up
  int user_timeout_s = 20;  // unacknowledged data older than this gives the connection up
};

// Switches the checks on for a connected socket. Returns false when the platform refused one of
// them (the connection still works, only without the quick detection).
bool ApplyLinkHealth(QAbstractSocket& socket, const LinkHealthTimers& timers = {});

}  // namespace quillora

namespace quillora {

// True when the kernel is already waiting in vain on this connection: keepalive probes or
// retransmissions are outstanding. A healthy connection, idle or busy, answers them at once.
// Where the platform cannot tell, false (the checks above still end the connection in time).
bool LinkLooksDead(const QAbstractSocket& socket);

}  // namespace quillora
