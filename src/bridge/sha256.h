// SHA-256 of bytes given in pieces, in lower-case hex, through OpenSSL's
// libcrypto (which uses the processor's SHA instructions where it has them:
// the originals of an import are hashed as they are copied, megabytes per
// photo). Not thread-safe; one per thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace lumireel {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False once any step failed; the digest is then nullopt.
  bool Update(const void* bytes, std::size_t size);
  // The 64 hex digits of everything given; the object is used up.
  [[nodiscard]] std::optional<std::string> FinishHex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace lumireel
