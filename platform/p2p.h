// Stand-in for the P2P client library: a TCP link to the registration
// server with a connect and a read deadline, the client key file, and the
// block encoding the registration messages travel in.
//
// Each message travels as blocks of P2P_BLOCK_SIZE bytes carrying up to
// P2P_BLOCK_DATA bytes of the message: a length byte, the data, zero
// padding, the whole block masked with the client key. rsa_cal_ensize
// gives the size on the wire. The mask keeps the texts from being read off
// the wire in passing; it is not a cipher and protects nothing from
// someone who holds the library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int P2P_BLOCK_SIZE = 128;
constexpr int P2P_BLOCK_DATA = 117;
constexpr int P2P_KEY_SIZE = 64;

// A TCP socket (close-on-exec): the descriptor, or -1.
int socket_create();
// Connects to host (dotted address or name) on port within timeout_ms:
// 0, or -1 when the name does not resolve, nobody answers or time runs out.
int socket_connect(int fd, const char* host, int port, int timeout_ms);
// Closes the socket (a negative descriptor is ignored).
void socket_destroy(int fd);

// Makes sure the key file at path holds a client key, writing the key the
// recorder ships with when the file is missing or damaged: 0, or -1.
int p2p_create_keyfile(const char* path);
// Takes the key of the file at path for the messages that follow: 0, or -1
// when it cannot be read or is not a key.
int p2p_cli_switch_keyfile(const char* path);
// Forgets the key taken (the next send and receive fail until one is).
void p2p_cli_clear_key();

// Size on the wire of a message of len bytes (0 for len <= 0).
int rsa_cal_ensize(int len);
// Sends len bytes as rsa_cal_ensize(len) bytes within timeout_ms: 0, or -1.
int p2p_send(int fd, const void* data, int len, int timeout_ms);
// Receives a message of wire_size bytes (a whole number of blocks) within
// timeout_ms and decodes it into out: the message length, or -1 when the
// link fails, time runs out, the blocks are not ours or the message does
// not fit in out_size.
int p2p_recv(int fd, void* out, size_t out_size, int wire_size, int timeout_ms);

// Encoding alone, for servers and tests: the wire bytes of a message
// (out_size at least rsa_cal_ensize(len)); the wire size, or -1.
int p2p_encode(const void* data, int len, uint8_t* out, size_t out_size);
// The message of wire bytes; its length, or -1.
int p2p_decode(const uint8_t* wire, int wire_size, void* out, size_t out_size);

// Name lookups, for tests: the A query for name with the given id (empty
// for a name with an empty or over-long label), and the first A record of
// an answer to it (host order; false for any other or a malformed answer).
std::vector<uint8_t> p2p_dns_query(const std::string& name, uint16_t id);
bool p2p_dns_answer(const uint8_t* msg, size_t len, uint16_t id, uint32_t* addr);
