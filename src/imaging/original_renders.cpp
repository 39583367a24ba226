#include "imaging/original_renders.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>
#include <vector>

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "bridge/movie_messages.h"
#include "bridge/pacing.h"
#include "imaging/adjustments.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/renditions.h"
#include "library/album_registry.h"
#include "library/photo_info.h"
#include "library/photo_list.h"
#include "library/stored_xml.h"

namespace lumireel {
namespace {

constexpr char kProgressLabel[] = "loc_convertimg";
constexpr RenditionLimits kMovieDefaultLimits{180, 180, 700, 700};

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

// A positive decimal value of the catalogue, else `fallback`.
std::uint32_t CatalogueSize(const CXmlNode& album, const char* name, std::uint32_t fallback) {
  const std::string* text = album.GetChildValue(name);
  if (text == nullptr) return fallback;
  const long value = ReadDecimal(*text);
  if (value <= 0) return fallback;
  return static_cast<std::uint32_t>(std::min<long>(value, UINT32_MAX));
}

// One photo of a list: its id and the name of its renditions.
struct ListedPhoto {
  std::string id;
  std::string file;
};

std::vector<ListedPhoto> ListedPhotos(const std::string& part_folder) {
  std::vector<ListedPhoto> photos;
  const std::optional<std::string> text = ReadTextFileUtf8(PhotoListPath(part_folder));
  CXmlDocument list;
  if (!text || !ParseStoredXml(*text, list)) return photos;
  for (const auto& child : list.RootElement()->children()) {
    if (child->kind != XmlNodeKind::Element) continue;
    const std::string* id = child->GetChildValue("id");
    const std::string* file = child->GetChildValue("file");
    if (id != nullptr && file != nullptr) photos.push_back({*id, *file});
  }
  return photos;
}

// The photo folders of an album: the folders of its `photoparts` that hold
// a photo list, numbered ones first in their order.
std::vector<std::string> PartFolders(const std::string& album_folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code ec;
  const std::string parts = JoinPath(album_folder, "photoparts");
  for (fs::directory_iterator it(NativePath(parts), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_directory(type_ec) || it->is_symlink(type_ec)) continue;
    const std::string name = it->path().filename().string();
    if (FileExists(PhotoListPath(JoinPath(parts, name)))) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const long na = ReadDecimal(a), nb = ReadDecimal(b);
    return na != nb ? na < nb : a < b;
  });
  for (std::string& name : names) name = JoinPath(parts, name);
  return names;
}

// The album id of a photo folder `<album>\photoparts\<part>`.
std::string AlbumIdOfPart(const std::string& part_folder) {
  std::filesystem::path path(NativePath(part_folder));
  while (!path.empty() && path.filename().empty()) path = path.parent_path();  // trailing slash
  return path.parent_path().parent_path().filename().string();
}

std::string AlbumIdOf(const std::string& album_folder) {
  std::filesystem::path path(NativePath(album_folder));
  while (!path.empty() && path.filename().empty()) path = path.parent_path();
  return path.filename().string();
}

bool KeepEdits(const std::string& part_folder, const std::string& id, const std::string& document,
               const PixelSize& size) {
  const std::string folder = JoinPath(part_folder, "edits");
  if (!IsFolder(folder)) MakeFolder(folder);
  const std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><edits width=\"" +
                           std::to_string(size.width) + "\" height=\"" +
                           std::to_string(size.height) + "\">" +
                           EncodeMessageText(XmlSafeText(document)) + "</edits>";
  return WriteTextFileUtf8(KeptEditsPath(part_folder, id), text);
}

// What RenderFromOriginal does, with the big image's new size reported.
OriginalRender Render(const RenditionLimits& limits, const std::string& part_folder,
                      const std::string& id, const std::string& file,
                      const std::optional<KeptEdits>& edits, const std::string& root,
                      const EditServices& services, PixelSize* big_size) {
  const std::optional<std::string> original = FindOriginal(part_folder, id);
  if (!original) return OriginalRender::kNoOriginal;
  if (!IsPlainName(file)) return OriginalRender::kFailed;
  const std::string big_dir = JoinPath(part_folder, "big");
  const std::string preview_dir = JoinPath(part_folder, "preview");
  RenderedPhoto photo = RenderPhoto(limits, *original, big_dir, preview_dir);
  if (!photo.ok) return OriginalRender::kFailed;
  const std::string big_path = NativePath(JoinPath(big_dir, file));
  if (!photo.big.MoveTo(big_path) ||
      !photo.preview.MoveTo(NativePath(JoinPath(preview_dir, file)))) {
    return OriginalRender::kFailed;
  }
  if (big_size != nullptr) *big_size = photo.big_size;
  if (!edits) {
    return RewritePhotoSize(PhotoListPath(part_folder), id, photo.preview_size.width,
                            photo.preview_size.height)
               ? OriginalRender::kRendered
               : OriginalRender::kFailed;
  }
  ImageEdit edit;
  edit.source = big_path;
  edit.adjustments = edits->document;
  edit.root = root;
  edit.folder = part_folder + "\\";
  edit.id = id;
  if (edits->width != 0 && edits->width != photo.big_size.width) {
    edit.crop_scale = static_cast<double>(photo.big_size.width) / edits->width;
  }
  return ProcessImage(edit, services) == EditResult::kWritten ? OriginalRender::kRendered
                                                              : OriginalRender::kFailed;
}

}  // namespace

RenditionLimits AlbumRenditionLimits(const std::string& root, const std::string& album_id) {
  RenditionLimits limits = kMovieDefaultLimits;
  const std::optional<std::string> text = ReadTextFileUtf8(AlbumPlacesOf(root).catalogue);
  CXmlDocument catalogue;
  if (!text || !ParseCatalogue(*text, catalogue)) return limits;
  const CXmlNode* albums = FindTopLevelElement(catalogue, "albums");
  if (albums == nullptr) return limits;
  for (const auto& child : albums->children()) {
    const std::string* id = child->GetAttrValue("id");
    if (child->kind != XmlNodeKind::Element || id == nullptr || *id != album_id) continue;
    limits.preview_width = CatalogueSize(*child, "pwidth", limits.preview_width);
    limits.preview_height = CatalogueSize(*child, "pheight", limits.preview_height);
    limits.big_width = CatalogueSize(*child, "bwidth", limits.big_width);
    limits.big_height = CatalogueSize(*child, "bheight", limits.big_height);
    break;
  }
  return limits;
}

std::optional<KeptEdits> ReadKeptEdits(const std::string& part_folder, const std::string& id) {
  const std::optional<std::string> text = ReadTextFileUtf8(KeptEditsPath(part_folder, id));
  CXmlDocument document;
  if (!text || !ParseStoredXml(*text, document)) return std::nullopt;
  const CXmlNode* root = document.RootElement();
  if (root->name != "edits" || root->value.empty()) return std::nullopt;
  KeptEdits edits;
  edits.document = root->value;
  const std::optional<AdjustmentPlan> plan = ReadAdjustments(edits.document);
  if (!plan || plan->over_limit) return std::nullopt;
  const auto size = [&](const char* name) -> std::uint32_t {
    const std::string* value = root->GetAttrValue(name);
    const long number = value != nullptr ? ReadDecimal(*value) : 0;
    return static_cast<std::uint32_t>(std::clamp<long>(number, 0, kMaxImageSide));
  };
  edits.width = size("width");
  edits.height = size("height");
  return edits;
}

OriginalRender RenderFromOriginal(const RenditionLimits& limits, const std::string& part_folder,
                                  const std::string& id, const std::string& file,
                                  const std::optional<KeptEdits>& edits, const std::string& root,
                                  const EditServices& services) {
  return Render(limits, part_folder, id, file, edits, root, services, nullptr);
}

void RunSaveEdit(const std::string& root, const std::string& part_folder, const std::string& id,
                 const std::string& document, const OriginalJobServices& services) {
  const EditServices edit_services{services.dialogs, services.pacing};
  const RenditionLimits limits = AlbumRenditionLimits(root, AlbumIdOfPart(part_folder));
  const KeptEdits edits{document, 0, 0};
  PixelSize big_size;
  const OriginalRender rendered =
      Render(limits, part_folder, id, id + ".jpg", edits, root, edit_services, &big_size);
  if (rendered == OriginalRender::kRendered) {
    (void)KeepEdits(part_folder, id, document, big_size);
  } else if (rendered == OriginalRender::kNoOriginal) {
    ImageEdit edit;
    edit.source = JoinPath(JoinPath(part_folder, "big"), id + ".jpg");
    edit.adjustments = document;
    edit.root = root;
    edit.folder = part_folder + "\\";
    edit.id = id;
    (void)ProcessImage(edit, edit_services);
  }
  CallMovie(services.movie, ReloadBigImgMessage());
}

void RunRevertPhoto(const std::string& root, const std::string& part_folder, const std::string& id,
                    const OriginalJobServices& services) {
  const RenditionLimits limits = AlbumRenditionLimits(root, AlbumIdOfPart(part_folder));
  if (RenderFromOriginal(limits, part_folder, id, id + ".jpg", std::nullopt, root,
                         {services.dialogs, services.pacing}) == OriginalRender::kRendered) {
    RemoveFile(KeptEditsPath(part_folder, id));
  }
  CallMovie(services.movie, ReloadBigImgMessage());
}

void RunRenderAlbum(const std::string& root, const std::string& album_folder,
                    const std::function<bool()>& cancelled, const OriginalJobServices& services) {
  const RenditionLimits limits = AlbumRenditionLimits(root, AlbumIdOf(album_folder));
  struct Work {
    std::string part_folder;
    ListedPhoto photo;
  };
  std::vector<Work> work;
  for (const std::string& part_folder : PartFolders(album_folder)) {
    // Later edits make their previews in the list's box: the album's size
    // from now on, as every photo rendered here has it.
    (void)RewritePreviewBox(PhotoListPath(part_folder), limits.preview_width,
                            limits.preview_height);
    for (ListedPhoto& photo : ListedPhotos(part_folder)) {
      if (FindOriginal(part_folder, photo.id)) work.push_back({part_folder, std::move(photo)});
    }
  }
  const int total = static_cast<int>(std::min<std::size_t>(work.size(), INT_MAX));
  CallMovie(services.movie, CreateProgressBarMessage(kProgressLabel));
  int done = 0;
  for (const Work& item : work) {
    if (cancelled()) break;
    // A kept document that no longer parses is left out: the photo is
    // rendered as it was imported.
    const std::optional<KeptEdits> edits = ReadKeptEdits(item.part_folder, item.photo.id);
    // The kept document keeps the size it was made for: its crops are
    // scaled from that size whatever the sizes in between.
    (void)RenderFromOriginal(limits, item.part_folder, item.photo.id, item.photo.file, edits, root,
                             {services.dialogs, services.pacing});
    if (done < INT_MAX) ++done;
    CallMovie(services.movie, ShowProgressMessage(total, done));
  }
  CallMovie(services.movie, ShowProgressMessage(total, total));
  CallMovie(services.movie, ReloadContentMessage());
}

}  // namespace lumireel
