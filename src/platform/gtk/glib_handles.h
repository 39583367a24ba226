// Owners of GLib, GObject and GTK handles that cannot be copied.
#pragma once

#include <glib-object.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>

namespace lumireel::platform::gtk {

// A reference to a GObject; released with g_object_unref.
template <typename T>
class GObjectRef {
 public:
  GObjectRef() = default;
  // Takes over a reference the caller owns (a "full" transfer).
  explicit GObjectRef(T* object) : object_(object) {}
  ~GObjectRef() { reset(); }
  GObjectRef(GObjectRef&& other) noexcept : object_(other.release()) {}
  GObjectRef& operator=(GObjectRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  GObjectRef(const GObjectRef&) = delete;
  GObjectRef& operator=(const GObjectRef&) = delete;

  // Adds a reference to an object the caller does not own.
  static GObjectRef Share(T* object) {
    if (object != nullptr) g_object_ref(object);
    return GObjectRef(object);
  }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  T* release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  void reset(T* object = nullptr) {
    if (object_ != nullptr) g_object_unref(object_);
    object_ = object;
  }

 private:
  T* object_ = nullptr;
};

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
// A string or block allocated by GLib.
using GOwnedString = std::unique_ptr<char, GFreeDeleter>;

struct GErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

struct GBytesDeleter {
  void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};
using GBytesPtr = std::unique_ptr<GBytes, GBytesDeleter>;

// A top-level GTK widget (a dialog) that this code created: destroyed with
// gtk_widget_destroy, which GTK's own reference to top-levels requires.
class TopLevel {
 public:
  explicit TopLevel(GtkWidget* widget) : widget_(widget) {}
  ~TopLevel() {
    if (widget_ != nullptr) gtk_widget_destroy(widget_);
  }
  TopLevel(const TopLevel&) = delete;
  TopLevel& operator=(const TopLevel&) = delete;
  GtkWidget* get() const { return widget_; }

 private:
  GtkWidget* widget_;
};

// Text that GTK and GLib accept: bytes that are not UTF-8 become U+FFFD.
std::string ValidUtf8(const std::string& text);

}  // namespace lumireel::platform::gtk
