#include "bridge/dispatcher.h"

#include <cstring>

#include "bridge/file_commands.h"
#include "bridge/invoke_request.h"

namespace lumireel {
namespace {

// Positional arguments that name a file or folder are read as values
// (references decoded), so that a path holding & < > or a quote names the
// file it says; adjustment documents and keyword texts keep the inner text.
template <size_t N>
std::array<std::string, N> Values(const InvokeRequest& request) {
  std::array<std::string, N> args;
  for (size_t i = 0; i < N; ++i) args[i] = request.Value(i);
  return args;
}

template <size_t N>
std::array<OptionalArg, N> StringArgs(const InvokeRequest& request) {
  std::array<OptionalArg, N> args;
  for (size_t i = 0; i < N; ++i) {
    if (const char* text = request.StringArg(i)) args[i] = text;
  }
  return args;
}

std::string Text(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

bool ReadsAsOne(const std::string& text) { return ReadDecimal(text) == 1; }

}  // namespace

CommandDispatcher::CommandDispatcher(platform::Dialogs& dialogs, FileCommands& files)
    : dialogs_(dialogs), files_(files) {}

void CommandDispatcher::OnFlashCall(const std::string& text) {
  ReadRequestResult read = ReadInvokeRequest(text);
  if (read.error != RequestError::kNone) {
    ShowRequestError(dialogs_, read.error);
    return;
  }
  InvokeRequest& request = *read.request;
  if (DispatchPositional(request)) return;
  request.ReleaseTree();
  DispatchStringOnly(request);
}

bool CommandDispatcher::DispatchPositional(const InvokeRequest& request) {
  const std::string& name = request.name();
  if (name == "importAlbum") {
    if (library_ != nullptr) library_->ImportAlbum(request.Value(0));
  } else if (name == "FullSkreenWindow") {
    if (window_ != nullptr) window_->FullSkreenWindow();
  } else if (name == "setFlashBuildVersion") {
    flash_build_version_ = request.Value(0);
  } else if (name == "LastSizeWindow") {
    if (window_ != nullptr) window_->LastSizeWindow();
  } else if (name == "startResizeWindow") {
    if (window_ != nullptr) window_->StartResizeWindow();
  } else if (name == "stopResizeWindow") {
    if (window_ != nullptr) window_->StopResizeWindow();
  } else if (name == "startDragWindow") {
    if (window_ != nullptr) window_->StartDragWindow();
  } else if (name == "stopDragWindow") {
    if (window_ != nullptr) window_->StopDragWindow();
  } else if (name == "Publish") {
    const bool cd = ReadsAsOne(request.Value(1));
    const bool web = ReadsAsOne(request.Value(2));
    if ((cd || web || ReadsAsOne(request.Value(0))) && publish_ != nullptr) {
      publish_->Publish({cd, web, request.Value(3), request.Value(4)});
    }
  } else if (name == "PublishedFolders") {
    if (publish_ != nullptr) publish_->PublishedFolders();
  } else if (name == "OpenLocation") {
    if (window_ != nullptr) window_->OpenLocation(request.Value(0));
  } else if (name == "UploadGallery") {
    if (upload_ != nullptr) {
      upload_->UploadGallery({request.Value(0), request.Value(1), request.Value(2), request.Value(3)});
    }
  } else if (name == "TestUploadConnection") {
    if (upload_ != nullptr) {
      upload_->TestUploadConnection({request.Value(0), "", request.Value(1), request.Value(2)});
    }
  } else if (name == "CancelUpload") {
    if (upload_ != nullptr) upload_->CancelUpload();
  } else if (name == "GetKeyWords") {
    if (library_ != nullptr) {
      library_->GetKeyWords(request.Value(0), ReadDecimal(request.Value(1)),
                            ReadDecimal(request.InnerText(2)));
    }
  } else if (name == "AddKeyWords") {
    if (library_ != nullptr) {
      library_->AddKeyWords(request.InnerText(0), request.Value(1),
                            ReadDecimal(request.InnerText(2)), ReadDecimal(request.InnerText(3)));
    }
  } else if (name == "CloseWindow") {
    if (window_ != nullptr) window_->CloseWindow();
  } else if (name == "UnlinkLFile") {
    files_.UnlinkLFile(request.Value(0));
  } else if (name == "SaveIMG") {
    if (photos_ != nullptr) {
      std::array<std::string, 7> args = Values<7>(request);
      args[2] = request.InnerText(2);  // the adjustment document
      photos_->SaveIMG(args);
    }
  } else if (name == "SavePreview") {
    if (photos_ != nullptr) {
      std::array<std::string, 5> args = Values<5>(request);
      args[4] = request.InnerText(4);  // the adjustment document
      photos_->SavePreview(args);
    }
  } else if (name == "ApplyAdjustForFolder") {
    if (photos_ != nullptr) {
      photos_->ApplyAdjustForFolder({request.Value(0), request.InnerText(1)});
    }
  } else if (name == "SaveEdit") {
    if (photos_ != nullptr)
      photos_->SaveEdit(request.Value(0), request.Value(1), request.InnerText(2));
  } else if (name == "RevertPhoto") {
    if (photos_ != nullptr) photos_->RevertPhoto(request.Value(0), request.Value(1));
  } else if (name == "RenderAlbum") {
    if (photos_ != nullptr) photos_->RenderAlbum(request.Value(0));
  } else if (name == "CancelRenderAlbum") {
    if (photos_ != nullptr) photos_->CancelRenderAlbum();
  } else if (name == "CancelAddPhoto") {
    if (photos_ != nullptr) photos_->CancelAddPhoto();
  } else {
    return false;
  }
  return true;
}

void CommandDispatcher::DispatchStringOnly(const InvokeRequest& request) {
  const char* strict_name = request.StrictName();
  if (strict_name == nullptr) return;
  const std::string name = strict_name;
  const char* first = request.StringArg(0);

  if (name == "CloseEditor") {
    // The editor closing changes nothing on this side.
  } else if (name == "SaveIMG_last") {
    if (photos_ != nullptr) photos_->SaveIMG_last(StringArgs<3>(request));
  } else if (name == "WriteFile") {
    if (first != nullptr) files_.WriteFile(first, Text(request.StringArg(1)));
  } else if (name == "WriteLFile") {
    if (first != nullptr) files_.WriteLFile(first, Text(request.StringArg(1)));
  } else if (name == "MoveMedia") {
    files_.MoveMedia(Text(first));
  } else if (name == "MoveLogo") {
    files_.MoveLogo();
  } else if (name == "MoveMp3") {
    files_.MoveMp3();
  } else if (name == "MoveFile") {
    files_.MoveFile(Text(first), Text(request.StringArg(1)), Text(request.StringArg(2)),
                    Text(request.StringArg(3)), request.StringCount());
  } else if (name == "ReadFile") {
    if (first != nullptr) files_.ReadFile(first);
  } else if (name == "MakeDir") {
    if (first != nullptr) files_.MakeDir(first);
  } else if (name == "UnlinkFile") {
    if (first != nullptr) files_.UnlinkFile(first);
  } else if (name == "RmDir") {
    if (first != nullptr) files_.RmDir(first);
  } else if (name == "HideWindow") {
    if (window_ != nullptr) window_->HideWindow();
  } else if (name == "AddPhoto") {
    if (photos_ != nullptr) photos_->AddPhoto(StringArgs<11>(request));
  }
}

}  // namespace lumireel
