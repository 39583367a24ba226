#include "bridge/sha256.h"

#include <openssl/evp.h>

#include <array>

namespace lumireel {

struct Sha256::Context {
  EVP_MD_CTX* digest = nullptr;
  bool ok = false;
  ~Context() { EVP_MD_CTX_free(digest); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  context_->digest = EVP_MD_CTX_new();
  context_->ok = context_->digest != nullptr &&
                 EVP_DigestInit_ex(context_->digest, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

bool Sha256::Update(const void* bytes, std::size_t size) {
  if (context_->ok && size > 0) context_->ok = EVP_DigestUpdate(context_->digest, bytes, size) == 1;
  return context_->ok;
}

std::optional<std::string> Sha256::FinishHex() {
  std::array<unsigned char, EVP_MAX_MD_SIZE> sum{};
  unsigned int length = 0;
  if (!context_->ok || EVP_DigestFinal_ex(context_->digest, sum.data(), &length) != 1) {
    return std::nullopt;
  }
  context_->ok = false;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[sum[i] >> 4];
    hex += kHex[sum[i] & 15];
  }
  return hex;
}

}  // namespace lumireel
