// Stand-ins for the network helper library. They read the kernel's tables
// under "/proc" and the recorder's MAC file through nvr_path(), so tests and
// the demo plant their own.
#pragma once
#include <cstddef>

// The file the factory writes the recorder's first MAC address into: one
// line of twelve hexadecimal digits.
constexpr char MAC_CONF_PATH[] = "/mnt/nand/mac.conf";

// 1 when the recorder has an IPv6 address on an interface other than the
// loopback (read from /proc/net/if_inet6), else 0.
int net_is_haveipv6();

// The IPv6 address of an interface and its prefix length as decimal text
// (from /proc/net/if_inet6). global_only 1 takes only a global address;
// 0 takes a global one, else a link-local one. 0, or -1 when the interface
// has none (the buffers are then left as they were).
int net_get_ipv6_ifaddr(int global_only, const char* ifname, char* addr, size_t addr_size, char* mask,
                        size_t mask_size);

// The IPv6 gateway of an interface (from /proc/net/ipv6_route): with
// any_route 0 the next hop of its default route, with 1 the next hop of any
// route through it. 0, or -1 when there is none.
int net_get_ipv6_gateway2(int any_route, const char* ifname, char* gw, size_t size);

// The IPv4 address of an interface as dotted text: 0, or -1 when it has none.
int net_get_ifaddr(const char* ifname, char* addr, size_t size);

// 1 when a TCP socket listens on the port (IPv4 or IPv6, from /proc/net/tcp
// and /proc/net/tcp6), else 0.
int is_port_use(int port);

// The MAC text of MAC_CONF_PATH: its first line without the line end and
// surrounding blanks, cut to size-1 characters. 0, or -1 when the file
// cannot be read or holds no text.
int read_mac_conf(char* buf, size_t size);
