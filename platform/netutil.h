// Stand-ins for the network helper library.
#pragma once

// 1 when the recorder has an IPv6 address on an interface other than the
// loopback (read from /proc/net/if_inet6), else 0.
int net_is_haveipv6();
