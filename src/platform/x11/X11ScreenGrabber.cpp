#include "platform/x11/X11ScreenGrabber.h"

#include <QGuiApplication>

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivex::platform {
namespace {

constexpr std::string_view kActiveWindow = "_NET_ACTIVE_WINDOW";

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// How the root window's pixels are laid out in the bytes the server sends.
struct PixelLayout {
  int depth = 0;
  int bitsPerPixel = 0;
  int scanlinePad = 32;
  bool lsbFirst = true;  // the server's byte order
  bool hostByteOrder() const { return lsbFirst == (QSysInfo::ByteOrder == QSysInfo::LittleEndian); }
  uint8_t visualClass = XCB_VISUAL_CLASS_TRUE_COLOR;
  uint32_t red = 0, green = 0, blue = 0;
  xcb_colormap_t colormap = XCB_NONE;

  qsizetype stride(int width) const {
    const qsizetype bits = qsizetype(width) * bitsPerPixel;
    return (bits + scanlinePad - 1) / scanlinePad * scanlinePad / 8;
  }
  bool masks(uint32_t r, uint32_t g, uint32_t b) const {
    return red == r && green == g && blue == b;
  }
  // The format the server's bytes already have, so the picture can wrap them as they are.
  QImage::Format wrappedFormat() const {
    if (!hostByteOrder()) return QImage::Format_Invalid;
    if (bitsPerPixel == 32 && (depth == 24 || depth == 32) && masks(0xff0000, 0xff00, 0xff))
      return QImage::Format_RGB32;
    if (bitsPerPixel == 16 && depth == 15 && masks(0x7c00, 0x3e0, 0x1f))
      return QImage::Format_RGB555;
    if (bitsPerPixel == 8 && depth == 8 && visualClass != XCB_VISUAL_CLASS_TRUE_COLOR &&
        visualClass != XCB_VISUAL_CLASS_DIRECT_COLOR)
      return QImage::Format_Indexed8;
    return QImage::Format_Invalid;
  }
  // Any other true-colour layout is widened to 32 bits.
  bool convertible() const {
    return (visualClass == XCB_VISUAL_CLASS_TRUE_COLOR ||
            visualClass == XCB_VISUAL_CLASS_DIRECT_COLOR) &&
           (bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32) && red && green && blue;
  }
};

PixelLayout readLayout(const xcb_setup_t* setup, const xcb_screen_t* screen) {
  PixelLayout layout;
  layout.depth = screen->root_depth;
  layout.colormap = screen->default_colormap;
  layout.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
    if (f.data->depth != layout.depth) continue;
    layout.bitsPerPixel = f.data->bits_per_pixel;
    layout.scanlinePad = f.data->scanline_pad;
  }
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
      if (v.data->visual_id != screen->root_visual) continue;
      layout.visualClass = v.data->_class;
      layout.red = v.data->red_mask;
      layout.green = v.data->green_mask;
      layout.blue = v.data->blue_mask;
    }
  }
  return layout;
}

// Bytes the server wrote, with what frees them.
struct Pixels {
  uchar* bits = nullptr;
  qsizetype stride = 0;
  QImageCleanupFunction release = nullptr;
  void* releaseInfo = nullptr;
};

// Shared memory segments attached to the server. A picture holds its segment until its last
// copy goes; the segment then waits for the next grab, since a fresh one costs the kernel a page
// fault per 4 KiB the server writes (dozens of times the grab itself). Pictures may be freed on
// any thread and after the grabber is gone, hence the lock and the shared ownership.
class SegmentPool {
 public:
  struct Segment {
    int id = -1;
    uchar* address = nullptr;
    size_t size = 0;
    xcb_shm_seg_t xid = 0;
  };

  explicit SegmentPool(xcb_connection_t* connection) : connection_(connection) {}

  std::optional<Segment> take(size_t size) {
    std::lock_guard lock(mutex_);
    if (idle_ && idle_->size < size) {
      free(*idle_);
      idle_.reset();
    }
    std::optional<Segment> segment = std::exchange(idle_, std::nullopt);
    if (!segment) segment = create(size);
    if (segment) lent_.push_back(segment->xid);
    return segment;
  }

  void giveBack(const Segment& segment) {
    std::lock_guard lock(mutex_);
    std::erase(lent_, segment.xid);
    if (connection_ && !idle_)
      idle_ = segment;
    else
      free(segment);
  }

  // The grabber ends (the connection may end with it): the server lets go of every segment;
  // lent ones stay mapped for their pictures.
  void close() {
    std::lock_guard lock(mutex_);
    if (idle_) {
      free(*idle_);
      idle_.reset();
    }
    for (xcb_shm_seg_t xid : lent_) xcb_shm_detach(connection_, xid);
    xcb_flush(connection_);
    connection_ = nullptr;
  }

 private:
  std::optional<Segment> create(size_t size) {
    Segment s;
    s.size = size;
    s.id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (s.id < 0) return std::nullopt;
    void* address = shmat(s.id, nullptr, 0);
    // shmat reports failure as the address (void*)-1.
    const bool attached = reinterpret_cast<std::intptr_t>(address) != -1;
    s.xid = xcb_generate_id(connection_);
    Reply<xcb_generic_error_t> error;
    if (attached)
      error.reset(
          xcb_request_check(connection_, xcb_shm_attach_checked(connection_, s.xid, s.id, false)));
    // Marked for removal once both sides are attached: the kernel frees it with the last
    // detach, also when this process dies.
    shmctl(s.id, IPC_RMID, nullptr);
    if (!attached) return std::nullopt;
    s.address = static_cast<uchar*>(address);
    if (error) {
      shmdt(address);
      return std::nullopt;
    }
    return s;
  }

  void free(const Segment& segment) {
    if (connection_) {
      xcb_shm_detach(connection_, segment.xid);
      xcb_flush(connection_);
    }
    shmdt(segment.address);
  }

  std::mutex mutex_;
  xcb_connection_t* connection_;  // null once the grabber is gone
  std::optional<Segment> idle_;
  std::vector<xcb_shm_seg_t> lent_;
};

struct Lease {
  std::shared_ptr<SegmentPool> pool;
  SegmentPool::Segment segment;
};

void returnSegment(void* info) {
  std::unique_ptr<Lease> lease(static_cast<Lease*>(info));
  lease->pool->giveBack(lease->segment);
}

// A pixel value of 16, 24 or 32 bits in the server's byte order, from its masks to 0xffRRGGBB.
class ChannelWidener {
 public:
  explicit ChannelWidener(const PixelLayout& layout)
      : layout_(layout), red_(layout.red), green_(layout.green), blue_(layout.blue) {}

  void widenRow(const uchar* in, QRgb* out, int width) const {
    const int bytes = layout_.bitsPerPixel / 8;
    for (int x = 0; x < width; ++x, in += bytes) {
      uint32_t value = 0;
      for (int i = 0; i < bytes; ++i)
        value |= uint32_t(in[i]) << (8 * (layout_.lsbFirst ? i : bytes - 1 - i));
      out[x] = qRgb(red_.widen(value), green_.widen(value), blue_.widen(value));
    }
  }

 private:
  // One colour channel to 8 bits by repeating its bits ((v << 3) | (v >> 2) for 5 bits), as Qt
  // and the picture writers widen 16-bit pixels, so full intensity stays 255.
  struct Channel {
    explicit Channel(uint32_t bits)
        : mask(bits), shift(std::countr_zero(bits)), width(std::popcount(bits)) {}
    int widen(uint32_t value) const {
      const uint32_t v = (value & mask) >> shift;
      if (width >= 8) return int(v >> (width - 8));
      uint32_t wide = 0;
      for (int at = 8 - width; at > -width; at -= width) wide |= at >= 0 ? v << at : v >> -at;
      return int(wide & 0xff);
    }
    uint32_t mask;
    int shift;
    int width;
  };
  const PixelLayout& layout_;
  Channel red_, green_, blue_;
};

class X11ScreenGrabber final : public ScreenGrabber {
 public:
  X11ScreenGrabber(xcb_connection_t* connection, const xcb_screen_t* screen, bool sharedMemory,
                   bool getImageFallback)
      : connection_(connection),
        root_(screen->root),
        layout_(readLayout(xcb_get_setup(connection), screen)),
        segments_(sharedMemory ? std::make_shared<SegmentPool>(connection) : nullptr),
        getImageFallback_(getImageFallback) {
    readRandrVersion();
  }

  ~X11ScreenGrabber() override {
    if (segments_) segments_->close();
  }

  // False when the server cannot map our memory (a server on another machine, a sandbox).
  bool sharedMemoryWorks() {
    auto probe = segments_->take(4096);
    if (probe) segments_->giveBack(*probe);
    return probe.has_value();
  }

  QRect primaryScreenRect() const override {
    const QRect root = rootRect();
    const QRect primary = primaryMonitor() & root;
    return primary.isEmpty() ? root : primary;
  }

  QImage grabPrimaryScreen() override { return grab(primaryScreenRect()); }

  QImage grabActiveWindow() override {
    const std::optional<xcb_window_t> window = activeWindow();
    if (!window) return {};
    const std::optional<xcb_window_t> frame = topLevelOf(*window);
    if (!frame) return {};
    return grab(viewableRect(*frame) & rootRect());
  }

 private:
  QRect rootRect() const {
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr));
    return geometry ? QRect(0, 0, geometry->width, geometry->height) : QRect();
  }

  void readRandrVersion() {
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection_, &xcb_randr_id);
    if (!randr || !randr->present) return;
    Reply<xcb_randr_query_version_reply_t> version(xcb_randr_query_version_reply(
        connection_, xcb_randr_query_version(connection_, 1, 5), nullptr));
    if (version) randrVersion_ = version->major_version * 100 + version->minor_version;
  }

  // RandR monitors (1.5) include those a user defines over parts of one output; before them a
  // primary output's CRTC is the primary monitor. Empty when none is marked primary.
  QRect primaryMonitor() const {
    if (randrVersion_ >= 105) return primaryRandrMonitor();
    if (randrVersion_ >= 103) return primaryRandrOutput();
    return {};
  }

  QRect primaryRandrMonitor() const {
    Reply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
        connection_, xcb_randr_get_monitors(connection_, root_, true), nullptr));
    if (!reply) return {};
    for (auto m = xcb_randr_get_monitors_monitors_iterator(reply.get()); m.rem;
         xcb_randr_monitor_info_next(&m))
      if (m.data->primary) return QRect(m.data->x, m.data->y, m.data->width, m.data->height);
    return {};
  }

  QRect primaryRandrOutput() const {
    Reply<xcb_randr_get_output_primary_reply_t> primary(xcb_randr_get_output_primary_reply(
        connection_, xcb_randr_get_output_primary(connection_, root_), nullptr));
    if (!primary || primary->output == XCB_NONE) return {};
    Reply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
        connection_, xcb_randr_get_output_info(connection_, primary->output, XCB_CURRENT_TIME),
        nullptr));
    if (!output || output->crtc == XCB_NONE) return {};
    Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
        connection_, xcb_randr_get_crtc_info(connection_, output->crtc, XCB_CURRENT_TIME),
        nullptr));
    if (!crtc) return {};
    return QRect(crtc->x, crtc->y, crtc->width, crtc->height);
  }

  // The window manager's choice; without one that speaks EWMH, the window with the keyboard focus.
  std::optional<xcb_window_t> activeWindow() const {
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, true, kActiveWindow.size(), kActiveWindow.data()),
        nullptr));
    if (atom && atom->atom != XCB_NONE) {
      Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
          connection_,
          xcb_get_property(connection_, false, root_, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
      if (property && property->type == XCB_ATOM_WINDOW && property->format == 32 &&
          xcb_get_property_value_length(property.get()) >= 4) {
        const xcb_window_t window =
            *static_cast<const xcb_window_t*>(xcb_get_property_value(property.get()));
        if (window == XCB_NONE) return std::nullopt;
        return window;
      }
    }
    Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
        focus->focus == root_)
      return std::nullopt;
    return focus->focus;
  }

  // The child of the root that holds `window`: the frame a reparenting window manager drew
  // around it, or the window itself.
  std::optional<xcb_window_t> topLevelOf(xcb_window_t window) const {
    for (int depth = 0; depth < 64; ++depth) {
      Reply<xcb_query_tree_reply_t> tree(
          xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
      if (!tree) return std::nullopt;
      if (tree->parent == root_ || tree->parent == XCB_NONE) return window;
      window = tree->parent;
    }
    return std::nullopt;
  }

  // The outer rectangle of a top-level window, border included; empty when it is not shown.
  QRect viewableRect(xcb_window_t topLevel) const {
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, topLevel), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) return {};
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, topLevel), nullptr));
    if (!geometry) return {};
    const int border = geometry->border_width;
    return QRect(geometry->x, geometry->y, geometry->width + 2 * border,
                 geometry->height + 2 * border);
  }

  QImage grab(const QRect& area) {
    if (area.isEmpty()) return {};
    const QImage::Format wrapped = layout_.wrappedFormat();
    if (wrapped == QImage::Format_Invalid && !layout_.convertible()) return {};
    std::optional<Pixels> pixels;
    if (segments_) pixels = sharedMemoryPixels(area);
    if (!pixels && getImageFallback_) pixels = getImagePixels(area);
    if (!pixels) return {};
    if (wrapped == QImage::Format_Invalid) return widened(*pixels, area.size());
    QImage picture(pixels->bits, area.width(), area.height(), pixels->stride, wrapped,
                   pixels->release, pixels->releaseInfo);
    if (wrapped == QImage::Format_Indexed8) picture.setColorTable(colourMap());
    return picture;
  }

  std::optional<Pixels> sharedMemoryPixels(const QRect& area) {
    const qsizetype stride = layout_.stride(area.width());
    std::optional<SegmentPool::Segment> segment = segments_->take(size_t(stride) * area.height());
    if (!segment) return std::nullopt;
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        connection_,
        xcb_shm_get_image(connection_, root_, int16_t(area.x()), int16_t(area.y()),
                          uint16_t(area.width()), uint16_t(area.height()), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, segment->xid, 0),
        &error));
    std::free(error);
    if (!reply) {
      segments_->giveBack(*segment);
      return std::nullopt;
    }
    return Pixels{segment->address, stride, returnSegment, new Lease{segments_, *segment}};
  }

  // The pixels stay inside the reply, which the picture frees.
  std::optional<Pixels> getImagePixels(const QRect& area) const {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        &error));
    std::free(error);
    const qsizetype stride = layout_.stride(area.width());
    if (!reply || xcb_get_image_data_length(reply.get()) < stride * area.height())
      return std::nullopt;
    uchar* bits = xcb_get_image_data(reply.get());
    return Pixels{bits, stride, [](void* info) { std::free(info); }, reply.release()};
  }

  QImage widened(const Pixels& pixels, QSize size) const {
    QImage picture(size, QImage::Format_RGB32);
    if (!picture.isNull()) {
      const ChannelWidener widener(layout_);
      for (int y = 0; y < size.height(); ++y)
        widener.widenRow(pixels.bits + y * pixels.stride,
                         reinterpret_cast<QRgb*>(picture.scanLine(y)), size.width());
    }
    pixels.release(pixels.releaseInfo);
    return picture;
  }

  // The 256 colours of the screen's colour map, for an 8-bit picture.
  QList<QRgb> colourMap() const {
    uint32_t indices[256];
    for (uint32_t i = 0; i < 256; ++i) indices[i] = i;
    QList<QRgb> table(256, qRgb(0, 0, 0));
    Reply<xcb_query_colors_reply_t> reply(xcb_query_colors_reply(
        connection_, xcb_query_colors(connection_, layout_.colormap, 256, indices), nullptr));
    if (!reply) return table;
    const xcb_rgb_t* colours = xcb_query_colors_colors(reply.get());
    const int count = std::min(256, xcb_query_colors_colors_length(reply.get()));
    for (int i = 0; i < count; ++i)
      table[i] = qRgb(colours[i].red >> 8, colours[i].green >> 8, colours[i].blue >> 8);
    return table;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  PixelLayout layout_;
  std::shared_ptr<SegmentPool> segments_;  // null without shared memory
  bool getImageFallback_;
  int randrVersion_ = 0;  // major * 100 + minor; 0 without RandR
};

bool serverHasSharedMemory(xcb_connection_t* connection) {
  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection, &xcb_shm_id);
  return shm && shm->present;
}

}  // namespace

std::unique_ptr<ScreenGrabber> createX11ScreenGrabber(X11GrabTransfer transfer) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return nullptr;
  xcb_connection_t* connection = x11->connection();
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const bool wantShm = transfer != X11GrabTransfer::kGetImage && serverHasSharedMemory(connection);
  const bool fallback = transfer != X11GrabTransfer::kSharedMemory;
  auto grabber = std::make_unique<X11ScreenGrabber>(connection, screen, wantShm, fallback);
  if (wantShm && !grabber->sharedMemoryWorks()) {
    if (!fallback) return nullptr;
    grabber = std::make_unique<X11ScreenGrabber>(connection, screen, false, true);
  }
  if (transfer == X11GrabTransfer::kSharedMemory && !wantShm) return nullptr;
  return grabber;
}

}  // namespace lumivex::platform
