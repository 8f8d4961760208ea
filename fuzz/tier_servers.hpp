#pragma once

// One helper process per instruction-set tier, each this same program started again with
// TESSARINE_CPU set, so that one fuzzing process can compare every tier on each input. The
// tier is fixed when a process first asks for it, hence separate processes; they serve
// requests over pipes until their input closes.
//
// Request: op (1 byte: 'C' compress, 'D' decompress), length (4 bytes LE), bytes. For 'C'
// the bytes are fuzz_signal.hpp's input form. Reply: ok (1 byte), length, then the container,
// the samples' bytes, or the error text.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "codec/compressor.hpp"
#include "codec/decompressor.hpp"
#include "fuzz_signal.hpp"

extern char** environ;

namespace tessarine::fuzz {

using Bytes = std::vector<std::uint8_t>;

struct Reply {
  bool ok = false;
  Bytes bytes;
};

inline bool write_all(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;  // libFuzzer's timeout alarm
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

inline bool read_all(int fd, void* data, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;  // libFuzzer's timeout alarm
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

inline bool send_frame(int fd, std::uint8_t head, std::span<const std::uint8_t> body) {
  const auto size = static_cast<std::uint32_t>(body.size());
  return write_all(fd, &head, 1) && write_all(fd, &size, 4) && write_all(fd, body.data(), size);
}

inline bool receive_frame(int fd, std::uint8_t& head, Bytes& body) {
  std::uint32_t size = 0;
  if (!read_all(fd, &head, 1) || !read_all(fd, &size, 4)) return false;
  body.resize(size);
  return read_all(fd, body.data(), size);
}

template <class T>
Reply ok_or_text(const TessarineResult<std::vector<T>>& result) {
  if (!result) {
    const std::string text = result.error().display();
    return {false, Bytes(text.begin(), text.end())};
  }
  const auto* p = reinterpret_cast<const std::uint8_t*>(result->data());
  return {true, Bytes(p, p + result->size() * sizeof(T))};
}

inline Reply serve_one(std::uint8_t op, std::span<const std::uint8_t> body) {
  if (op == 'D') return ok_or_text(decompress(body));
  if (body.size() < kOptionBytes) return {};
  const auto samples = samples_from(body.subspan(kOptionBytes));
  return ok_or_text(compress(samples, options_from(body)));
}

// The helper's whole life: answer requests on stdin until it closes.
[[noreturn]] inline void serve() {
  std::uint8_t op = 0;
  Bytes body;
  while (receive_frame(0, op, body)) {
    const Reply reply = serve_one(op, body);
    if (!send_frame(1, reply.ok ? 1 : 0, reply.bytes)) break;
  }
  _exit(0);
}

class TierServer {
 public:
  // Starts this program again as a helper capped at `cap`; false when that fails.
  bool start(const char* self, const char* cap) {
    int to_child[2];
    int from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
    const std::string cpu = std::string("TESSARINE_CPU=") + cap;
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("TESSARINE_CPU=", 0) != 0) env.push_back(*e);
    }
    env.push_back(const_cast<char*>(cpu.c_str()));
    env.push_back(const_cast<char*>("TESSARINE_TIER_SERVER=1"));
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(self), nullptr};
    cap_ = cap;
    const int spawned = posix_spawn(&pid_, self, &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(to_child[0]);
    close(from_child[1]);
    to_ = to_child[1];
    from_ = from_child[0];
    return spawned == 0;
  }

  // A helper that stops answering is a finding in itself: say how it ended.
  Reply ask(std::uint8_t op, std::span<const std::uint8_t> body) {
    Reply reply;
    std::uint8_t head = 0;
    if (!send_frame(to_, op, body) || !receive_frame(from_, head, reply.bytes)) {
      int status = 0;
      close(to_);
      waitpid(pid_, &status, 0);
      std::fprintf(stderr, "tier helper %s stopped answering: %s %d\n", cap_,
                   WIFSIGNALED(status) ? "signal" : "exit",
                   WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
      __builtin_trap();
    }
    reply.ok = head != 0;
    return reply;
  }

 private:
  int to_ = -1;
  int from_ = -1;
  pid_t pid_ = 0;
  const char* cap_ = "";
};

}  // namespace tessarine::fuzz
