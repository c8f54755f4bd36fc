#include "platform/x11/X11HotkeyBackend.h"

#include "platform/KeyMap.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace lumivex::platform {
namespace {

constexpr xcb_keysym_t kNumLock = 0xff7f, kScrollLock = 0xff14;
constexpr xcb_keysym_t kAltL = 0xffe9, kAltR = 0xffea, kMetaL = 0xffe7;
constexpr xcb_keysym_t kSuperL = 0xffeb, kSuperR = 0xffec;

// The XKB extension's identity and event numbers, without the xcb-xkb library.
xcb_extension_t kXkbExtension = {"XKEYBOARD", 0};
constexpr uint8_t kXkbNewKeyboardNotify = 0, kXkbMapNotify = 1;

class X11HotkeyBackend final : public HotkeyBackend, public QAbstractNativeEventFilter {
 public:
  X11HotkeyBackend(xcb_connection_t* connection, xcb_window_t root)
      : connection_(connection), root_(root), symbols_(xcb_key_symbols_alloc(connection)) {
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection_, &kXkbExtension);
    if (xkb && xkb->present) xkbFirstEvent_ = xkb->first_event;
    readModifierMasks();
    QCoreApplication::instance()->installNativeEventFilter(this);
  }

  ~X11HotkeyBackend() override {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Grab& g : grabs_) ungrab(g);
    xcb_flush(connection_);
    xcb_key_symbols_free(symbols_);
  }

  bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) override {
    for (const Grab& g : grabs_)
      if (g.id == id || (g.modifiers == modifiers && g.virtualKey == virtualKey)) return false;
    Grab g{id, modifiers, virtualKey, {}, {}};
    if (!grab(g)) return false;
    grabs_.push_back(std::move(g));
    return true;
  }

  void unregisterHotKey(int id) override {
    for (auto it = grabs_.begin(); it != grabs_.end(); ++it) {
      if (it->id == id) {
        ungrab(*it);
        xcb_flush(connection_);
        grabs_.erase(it);
        return;
      }
    }
  }

  QString keyName(unsigned virtualKey, bool localized) const override {
    if (!localized || !keyByVirtualKey(virtualKey)) return usKeyName(virtualKey);
    // The layout's own character for the key, as printed on it; Qt's name for the others.
    const std::vector<xcb_keycode_t> codes = keycodesFor(virtualKey);
    if (!codes.empty()) {
      const char32_t ch = keysymToChar(xcb_key_symbols_get_keysym(symbols_, codes.front(), 0));
      if (ch != 0 && ch != U' ') return QString::fromUcs4(&ch, 1).toUpper();
    }
    return qtKeyName(virtualKey);
  }

  bool nativeEventFilter(const QByteArray& kind, void* message, qintptr*) override {
    if (kind != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS) return keyPressed(reinterpret_cast<xcb_key_press_event_t*>(event));
    // Qt uses XKB, so the server tells it of a new keyboard map by XKB events (the second byte
    // says which) instead of the core MappingNotify.
    if (type == XCB_MAPPING_NOTIFY ||
        (xkbFirstEvent_ != 0 && type == xkbFirstEvent_ &&
         (event->pad0 == kXkbNewKeyboardNotify || event->pad0 == kXkbMapNotify)))
      scheduleMappingRefresh();
    return false;
  }

 private:
  struct Held {
    xcb_keycode_t keycode;
    uint16_t modifiers;
    bool operator==(const Held&) const = default;
  };
  struct Grab {
    int id;
    unsigned modifiers;
    unsigned virtualKey;
    std::vector<xcb_keycode_t> keycodes;
    std::vector<Held> held;  // exactly what the server holds for us
  };

  std::vector<xcb_keycode_t> keycodesFor(unsigned virtualKey) const {
    std::vector<xcb_keycode_t> codes;
    const unsigned keysym = keysymForVirtualKey(virtualKey);
    if (keysym == 0) return codes;
    xcb_keycode_t* list = xcb_key_symbols_get_keycode(symbols_, keysym);
    for (xcb_keycode_t* k = list; k && *k != XCB_NO_SYMBOL; ++k) codes.push_back(*k);
    std::free(list);
    return codes;
  }

  uint16_t maskFor(unsigned modifiers) const {
    uint16_t mask = 0;
    if (modifiers & kModShift) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & kModControl) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & kModAlt) mask |= alt_;
    if (modifiers & kModWin) mask |= super_;
    return mask;
  }

  // The key works whatever Caps, Num or Scroll Lock state: one grab per combination of them.
  std::vector<uint16_t> lockVariants() const {
    std::vector<uint16_t> locks = {XCB_MOD_MASK_LOCK};
    if (numLock_) locks.push_back(numLock_);
    if (scrollLock_ && scrollLock_ != numLock_) locks.push_back(scrollLock_);
    std::vector<uint16_t> variants;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
      uint16_t v = 0;
      for (size_t i = 0; i < locks.size(); ++i)
        if (subset & (1u << i)) v |= locks[i];
      variants.push_back(v);
    }
    return variants;
  }

  std::vector<Held> wanted(const Grab& g) const {
    std::vector<Held> keys;
    const uint16_t mask = maskFor(g.modifiers);
    for (xcb_keycode_t code : g.keycodes)
      for (uint16_t variant : lockVariants()) keys.push_back({code, uint16_t(mask | variant)});
    return keys;
  }

  // All or none: a grab another client holds answers BadAccess. False leaves nothing grabbed.
  bool grabKeys(const std::vector<Held>& keys) {
    std::vector<xcb_void_cookie_t> cookies;
    cookies.reserve(keys.size());
    for (const Held& k : keys)
      cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, k.modifiers, k.keycode,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool refused = false;
    for (xcb_void_cookie_t cookie : cookies) {
      if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
        refused = true;
        std::free(error);
      }
    }
    if (refused) ungrabKeys(keys);  // releases only this client's grabs
    return !refused;
  }

  void ungrabKeys(const std::vector<Held>& keys) {
    for (const Held& k : keys) xcb_ungrab_key(connection_, k.keycode, root_, k.modifiers);
    xcb_flush(connection_);
  }

  bool grab(Grab& g) {
    g.keycodes = keycodesFor(g.virtualKey);
    if (g.keycodes.empty()) return false;
    g.held = wanted(g);
    return grabKeys(g.held);
  }

  void ungrab(const Grab& g) { ungrabKeys(g.held); }

  // Usually the grab reports the press on the root window; while a window of ours holds the
  // whole keyboard (an open menu) the press goes there instead and is still a hotkey.
  bool keyPressed(const xcb_key_press_event_t* event) {
    if (event->response_type & 0x80) return false;  // sent by a client, never a real key
    const uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | alt_ | super_;
    const uint16_t state = event->state & relevant;
    for (const Grab& g : grabs_) {
      if (maskFor(g.modifiers) != state) continue;
      for (xcb_keycode_t code : g.keycodes) {
        if (code == event->detail) {
          notifyPressed(g.id, g.modifiers, g.virtualKey);
          return true;
        }
      }
    }
    return false;
  }

  // One change of map arrives as several events: refresh once they have all been seen.
  void scheduleMappingRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, &context_, [this] {
      refreshPending_ = false;
      mappingChanged();
    });
  }

  // A new keyboard map can move keys and modifiers. Keys whose grabs stay the same are left
  // alone (the server also reports a mere switch of input device this way); moved ones are
  // grabbed at their new place before the old place is released, so no press falls between.
  void mappingChanged() {
    xcb_key_symbols_free(symbols_);
    symbols_ = xcb_key_symbols_alloc(connection_);
    readModifierMasks();
    std::vector<Grab> kept;
    for (Grab& g : grabs_) {
      Grab moved = g;
      moved.keycodes = keycodesFor(g.virtualKey);
      moved.held = wanted(moved);
      if (moved.held == g.held) {
        kept.push_back(std::move(g));
        continue;
      }
      std::vector<Held> released, added;
      for (const Held& k : g.held)
        if (std::find(moved.held.begin(), moved.held.end(), k) == moved.held.end())
          released.push_back(k);
      for (const Held& k : moved.held)
        if (std::find(g.held.begin(), g.held.end(), k) == g.held.end()) added.push_back(k);
      const bool ok = !moved.keycodes.empty() && grabKeys(added);
      ungrabKeys(ok ? released : g.held);
      if (ok) kept.push_back(std::move(moved));
    }
    grabs_ = std::move(kept);
  }

  void readModifierMasks() {
    alt_ = XCB_MOD_MASK_1;
    super_ = XCB_MOD_MASK_4;
    numLock_ = XCB_MOD_MASK_2;
    scrollLock_ = 0;
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
    if (!reply) return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    bool altFound = false, superFound = false, numFound = false;
    for (int mod = 3; mod < 8; ++mod) {  // Mod1..Mod5
      const uint16_t bit = uint16_t(1u << mod);
      for (int i = 0; i < perModifier; ++i) {
        const xcb_keycode_t code = codes[mod * perModifier + i];
        if (code == XCB_NO_SYMBOL) continue;
        for (int col = 0; col < 4; ++col) {
          const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols_, code, col);
          if (sym == kNumLock && !numFound) numLock_ = bit, numFound = true;
          if (sym == kScrollLock && !scrollLock_) scrollLock_ = bit;
          if ((sym == kAltL || sym == kAltR || sym == kMetaL) && !altFound)
            alt_ = bit, altFound = true;
          if ((sym == kSuperL || sym == kSuperR) && !superFound) super_ = bit, superFound = true;
        }
      }
    }
    std::free(reply);
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  xcb_key_symbols_t* symbols_;
  uint16_t alt_ = 0, super_ = 0, numLock_ = 0, scrollLock_ = 0;
  std::vector<Grab> grabs_;
  uint8_t xkbFirstEvent_ = 0;
  bool refreshPending_ = false;
  QObject context_;  // ends the pending refresh with the backend
};

}  // namespace

std::unique_ptr<HotkeyBackend> createX11HotkeyBackend() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return nullptr;
  xcb_connection_t* connection = x11->connection();
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  return std::make_unique<X11HotkeyBackend>(connection, root);
}

}  // namespace lumivex::platform
