#include "imaging/photo_facts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/sha256.h"

namespace lumireel {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

std::mutex xmp_toolkit_mutex;

// The XMP toolkit inside exiv2 is shared by every thread; it asks for this
// lock around its own work.
void LockXmpToolkit(void*, bool lock) {
  if (lock) {
    xmp_toolkit_mutex.lock();
  } else {
    xmp_toolkit_mutex.unlock();
  }
}

void StartExiv2() {
  static std::once_flag once;
  std::call_once(once, [] {
    // exiv2 reports broken metadata on stderr; here it is only a fact left out.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize(LockXmpToolkit, nullptr);
  });
}

// `text` without the blanks and NUL characters around it.
std::string Trimmed(std::string text) {
  const auto blank = [](char c) {
    return c == '\0' || std::isspace(static_cast<unsigned char>(c));
  };
  std::size_t begin = 0;
  while (begin < text.size() && blank(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && blank(text[end - 1])) --end;
  // A text with a NUL inside ends there, as EXIF texts do.
  std::string trimmed = text.substr(begin, end - begin);
  trimmed.resize(std::min(trimmed.size(), trimmed.find('\0')));
  return trimmed.size() <= kMaxFactLength ? trimmed : std::string();
}

// An EXIF text field; empty when missing, of another type or too long.
std::string ExifText(const Exiv2::ExifData& exif, const char* key) {
  const auto it = exif.findKey(Exiv2::ExifKey(key));
  if (it == exif.end() || it->typeId() != Exiv2::asciiString) return {};
  if (static_cast<std::size_t>(it->size()) > kMaxFactLength + 1) return {};
  return Trimmed(it->toString());
}

std::string IptcText(const Exiv2::IptcData& iptc, const char* key) {
  const auto it = iptc.findKey(Exiv2::IptcKey(key));
  if (it == iptc.end() || it->typeId() != Exiv2::string) return {};
  if (static_cast<std::size_t>(it->size()) > kMaxFactLength) return {};
  return Trimmed(it->toString());
}

// A plain XMP text property.
std::string XmpText(const Exiv2::XmpData& xmp, const char* key) {
  const auto it = xmp.findKey(Exiv2::XmpKey(key));
  if (it == xmp.end() || it->typeId() != Exiv2::xmpText) return {};
  return Trimmed(it->toString());
}

// The default language's text of an XMP language alternative.
std::string XmpLangAlt(const Exiv2::XmpData& xmp, const char* key) {
  const auto it = xmp.findKey(Exiv2::XmpKey(key));
  if (it == xmp.end()) return {};
  const auto* alt = dynamic_cast<const Exiv2::LangAltValue*>(&it->value());
  if (alt == nullptr || alt->value_.empty()) return {};
  const auto found = alt->value_.find("x-default");
  return Trimmed(found != alt->value_.end() ? found->second : alt->value_.begin()->second);
}

bool Digits(const std::string& text, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < from + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// "YYYY:MM:DD HH:MM:SS" as "YYYY-MM-DDTHH:MM:SS"; empty for anything else
// (a date that is blank, all zeros or malformed).
std::string IsoDate(const std::string& exif_date) {
  const std::string& d = exif_date;
  if (d.size() != 19 || !Digits(d, 0, 4) || d[4] != ':' || !Digits(d, 5, 2) || d[7] != ':' ||
      !Digits(d, 8, 2) || d[10] != ' ' || !Digits(d, 11, 2) || d[13] != ':' || !Digits(d, 14, 2) ||
      d[16] != ':' || !Digits(d, 17, 2)) {
    return {};
  }
  const int month = std::stoi(d.substr(5, 2));
  const int day = std::stoi(d.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31 || std::stoi(d.substr(11, 2)) > 23 ||
      std::stoi(d.substr(14, 2)) > 59 || std::stoi(d.substr(17, 2)) > 60) {
    return {};
  }
  return d.substr(0, 4) + "-" + d.substr(5, 2) + "-" + d.substr(8, 2) + "T" + d.substr(11);
}

// Make and model joined by a space; a model that already names its maker
// ("Canon" and "Canon EOS 5D") is given alone.
std::string Camera(const std::string& make, const std::string& model) {
  if (make.empty()) return model;
  if (model.empty()) return make;
  if (model.compare(0, make.size(), make) == 0) return model;
  return make + " " + model;
}

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

MetadataFacts ReadMetadataFacts(const std::string& native_path) {
  MetadataFacts facts;
  StartExiv2();
  try {
    // Only the still-picture readers: exiv2 takes the HEIF and AVIF
    // containers for QuickTime video, whose reader runs out of memory on a
    // hostile header of a few bytes. Their facts are left out.
    const int type = Exiv2::ImageFactory::getType(native_path);
    if (type != Exiv2::ImageType::jpeg && type != Exiv2::ImageType::png &&
        type != Exiv2::ImageType::tiff && type != Exiv2::ImageType::webp) {
      return facts;
    }
    // exiv2 0.27 hands out a std::auto_ptr; it is held as a unique_ptr.
    const std::unique_ptr<Exiv2::Image> image(Exiv2::ImageFactory::open(native_path).release());
    if (image.get() == nullptr) return facts;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    facts.taken = IsoDate(ExifText(exif, "Exif.Photo.DateTimeOriginal"));
    facts.camera = Camera(ExifText(exif, "Exif.Image.Make"), ExifText(exif, "Exif.Image.Model"));
    facts.caption = ExifText(exif, "Exif.Image.ImageDescription");
    if (facts.caption.empty()) {
      facts.caption = IptcText(image->iptcData(), "Iptc.Application2.Caption");
    }
    const Exiv2::XmpData& xmp = image->xmpData();
    if (facts.caption.empty()) facts.caption = XmpLangAlt(xmp, "Xmp.dc.description");
    // Files without EXIF (PNG, for one) may name the camera in XMP.
    if (facts.camera.empty()) {
      facts.camera = Camera(XmpText(xmp, "Xmp.tiff.Make"), XmpText(xmp, "Xmp.tiff.Model"));
    }
  } catch (...) {
    // Broken metadata (exiv2 throws its own errors, and std::bad_alloc for
    // absurd lengths): the facts read so far are kept, the others left out.
  }
  return facts;
}

std::string FileModificationTime(const std::string& native_path) {
  struct stat info {};
  if (::stat(native_path.c_str(), &info) != 0) return {};
  std::tm local{};
  if (::localtime_r(&info.st_mtime, &local) == nullptr) return {};
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local) == 0) return {};
  return text;
}

CopiedOriginal CopyOriginal(const std::string& native_source,
                            const std::string& native_destination) {
  CopiedOriginal copied;
  const FdCloser in{::open(native_source.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.fd < 0) return copied;
  const FdCloser out{
      ::open(native_destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
  if (out.fd < 0) return copied;
  Sha256 sum;
  std::vector<unsigned char> buffer(kCopyChunk);
  bool failed = false;
  for (;;) {
    const ssize_t got = ::read(in.fd, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    if (!sum.Update(buffer.data(), static_cast<std::size_t>(got))) {
      failed = true;
      break;
    }
    copied.bytes += static_cast<std::uint64_t>(got);
    for (ssize_t written = 0; written < got && !failed;) {
      const ssize_t put = ::write(out.fd, buffer.data() + written, got - written);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0)
        failed = true;
      else
        written += put;
    }
    if (failed) break;
  }
  if (failed) {
    ::unlink(native_destination.c_str());
    return CopiedOriginal();
  }
  std::optional<std::string> digest = sum.FinishHex();
  if (!digest) {
    ::unlink(native_destination.c_str());
    return CopiedOriginal();
  }
  copied.sha256 = std::move(*digest);
  copied.ok = true;
  return copied;
}

std::string OriginalExtension(const std::string& file_name) {
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string extension = file_name.substr(dot + 1);
  if (extension.empty() || extension.size() > 10) return {};
  for (char& c : extension) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return extension;
}

}  // namespace lumireel
