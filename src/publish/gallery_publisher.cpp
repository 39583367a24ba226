#include "publish/gallery_publisher.h"

#include <optional>

#include "bridge/file_utils.h"
#include "library/album_registry.h"
#include "library/photo_info.h"
#include "platform/dialogs.h"
#include "publish/album_data_script.h"
#include "publish/album_zip.h"
#include "publish/template_file.h"

namespace lumireel {
namespace {

constexpr char kPageTitle[] = "Quillmar Slide Show Album : ";

// The files of images\cd that a CD gallery carries in its own folder, in the
// order they are copied. The player data (.hqx) stands beside the player.
constexpr const char* kCdFiles[] = {"quillmarZELA.ico", "quillmarZELA.exe", "quillmarZELA.hqx",
                                    "autorun.inf", "index.html"};

// The slide-show settings, after the photos are in place: the "Download all"
// archive is made from the gallery's own big images, and the player offers
// it only when it was written.
void WriteShowSettings(const GallerySettings& settings, bool web, const std::string& gallery) {
  const bool zipped = WantsDownload(settings, web) && WriteAlbumZip(gallery);
  WriteTextFileUtf8(JoinPath(gallery, "zel_ui\\zelshow.xml"),
                    ShowXml(settings, zipped ? kAlbumZipFile : ""));
}

}  // namespace

void GalleryPublisher::ResetStatus() {
  succeeded_ = true;
  message_.clear();
}

void GalleryPublisher::ReportError(const std::string& caption, const std::string& text,
                                   bool error_icon) {
  succeeded_ = false;
  message_ = text;
  platform::MessageBoxRequest box;
  box.caption = caption;
  box.text = text;
  if (error_icon) box.icon = platform::MessageIcon::kError;
  dialogs_.ShowMessageBox(box);
}

bool GalleryPublisher::BuildWebGallery(const std::string& album_id, const std::string& album_prefix,
                                       const std::string& root_path, const std::string& gallery) {
  return Build(GalleryKind::kWeb, album_id, album_prefix, root_path, gallery);
}

bool GalleryPublisher::BuildCdGallery(const std::string& album_id, const std::string& album_prefix,
                                      const std::string& root_path, const std::string& gallery) {
  return Build(GalleryKind::kCd, album_id, album_prefix, root_path, gallery);
}

bool GalleryPublisher::PrepareSkin(GalleryKind kind, const std::string& root_path,
                                   const std::string& gallery, GallerySettings& settings) {
  const std::string images = JoinPath(root_path, "images");
  const std::string skins_source =
      JoinPath(images, kind == GalleryKind::kWeb ? "skins\\web" : "skins\\cd");
  settings.skin = ChooseSkin(settings.skin, skins_source);

  const std::string skins = JoinPath(gallery, "skins");
  MakeFolder(skins);  // may exist already; the copy below tells
  const std::string skin_source = JoinPath(skins_source, settings.skin);
  const std::string skin_target = JoinPath(skins, settings.skin);
  if (CloneFolder(skin_source, skin_target, LinkPolicy::kRefuse) != 0) {
    ReportError("Fatal error!",
                "can't copy files from " + skin_source + " to " + skin_target + " ]",
                /*error_icon=*/true);
    return false;
  }
  WriteTextFileUtf8(JoinPath(skins, "skins.xml"), SkinListXml(settings.skin));
  CopyFileReplacing(JoinPath(images, "skins\\zelslideshoweffects.swf"),
                    JoinPath(skins, "zelslideshoweffects.swf"), LinkPolicy::kRefuse);
  return true;
}

bool GalleryPublisher::Build(GalleryKind kind, const std::string& album_id,
                             const std::string& album_prefix, const std::string& root_path,
                             const std::string& gallery) {
  const bool web = kind == GalleryKind::kWeb;
  const std::string catalogue = AlbumPlacesOf(root_path).catalogue;
  std::optional<std::string> text;
  {
    const std::unique_lock lock = LockFilePath(catalogue);
    text = ReadTextFileUtf8(catalogue);
  }
  GallerySettings settings;
  const CatalogueStatus status =
      // Both galleries carry the name: the web page in its title, both in
      // the heading the player shows.
      text ? ReadGallerySettings(*text, album_id, /*with_name=*/true, settings)
           : CatalogueStatus::kUnreadable;
  if (status == CatalogueStatus::kUnreadable) {
    ReportError("Error", "Can't read XML", /*error_icon=*/false);
    return false;
  }
  if (status == CatalogueStatus::kNoRoot) {
    ReportError("Error", "Ca'nt parse XML", /*error_icon=*/false);
    return false;
  }
  if (!PrepareSkin(kind, root_path, gallery, settings)) return false;

  // Failures from here on leave a part out and are not reported: the
  // gallery is still usable without it.
  const std::string images = JoinPath(root_path, "images");
  const std::string album = album_prefix + album_id;
  // The photos' originals go into a gallery only when the user asked for it.
  const std::vector<std::string> left_out =
      FoldersLeftOut(JoinPath(root_path, "quillmaralbumsettings"), /*gallery=*/true);
  if (web) {
    CloneFolder(JoinPath(images, "web\\img_pice"), JoinPath(gallery, "img_pice"),
                LinkPolicy::kRefuse);
  } else {
    CloneFolder(JoinPath(album, "logo"), JoinPath(gallery, "logo"), LinkPolicy::kRefuse);
  }
  CloneFolder(JoinPath(images, "zel_ui"), JoinPath(gallery, "zel_ui"), LinkPolicy::kRefuse);
  WriteTextFileUtf8(JoinPath(gallery, "zel_ui\\zelsetting.xml"), SettingsXml(settings));

  if (web) {
    // The name is text on the page, never markup.
    FillTemplateFile({"title", EncodeHtmlText(kPageTitle + settings.name)},
                     JoinPath(images, "web\\index.html"), JoinPath(gallery, "index.html"),
                     JoinPath(root_path, "tmp"));
    CopyFileReplacing(JoinPath(images, "web\\zelalbum.swf"), JoinPath(gallery, "zelalbum.swf"),
                      LinkPolicy::kRefuse);
    CloneFolder(JoinPath(album, "photoparts"), JoinPath(gallery, "photoparts"), LinkPolicy::kRefuse,
                left_out);
    CloneFolder(JoinPath(album, "logo"), JoinPath(gallery, "logo"), LinkPolicy::kRefuse);
    WriteShowSettings(settings, web, gallery);
  } else {
    const std::string cd_templates = JoinPath(images, "cd");
    for (const char* file : kCdFiles) {
      CopyFileReplacing(JoinPath(cd_templates, file), JoinPath(gallery, file), LinkPolicy::kRefuse);
    }
    CloneFolder(JoinPath(album, "photoparts"), JoinPath(gallery, "photoparts"), LinkPolicy::kRefuse,
                left_out);
    WriteShowSettings(settings, web, gallery);
    WriteAlbumDataScript(gallery);
  }
  return true;
}

}  // namespace lumireel
