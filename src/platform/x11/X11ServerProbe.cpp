#include "platform/x11/X11ServerProbe.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumivex::platform {
namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

bool hasExtension(xcb_connection_t* connection, const char* name) {
  Reply<xcb_query_extension_reply_t> reply(xcb_query_extension_reply(
      connection, xcb_query_extension(connection, uint16_t(std::strlen(name)), name), nullptr));
  return reply && reply->present;
}

bool hasXwaylandOutput(xcb_connection_t* connection, xcb_window_t root) {
  if (!hasExtension(connection, "RANDR")) return false;
  Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
      xcb_randr_get_screen_resources_current_reply(
          connection, xcb_randr_get_screen_resources_current(connection, root), nullptr));
  if (!resources) return false;
  const xcb_randr_output_t* outputs =
      xcb_randr_get_screen_resources_current_outputs(resources.get());
  const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
  for (int i = 0; i < count; ++i) {
    Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
        connection, xcb_randr_get_output_info(connection, outputs[i], resources->config_timestamp),
        nullptr));
    if (!info) continue;
    const auto* name = reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get()));
    const int length = xcb_randr_get_output_info_name_length(info.get());
    if (length >= 8 && std::strncmp(name, "XWAYLAND", 8) == 0) return true;
  }
  return false;
}

}  // namespace

XServerKind probeX11Server() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return XServerKind::kNone;
  int screenNumber = 0;
  std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
      xcb_connect(display, &screenNumber), &xcb_disconnect);
  if (xcb_connection_has_error(connection.get())) return XServerKind::kNone;
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  if (!screens.rem) return XServerKind::kNone;
  if (hasExtension(connection.get(), "XWAYLAND") ||
      hasXwaylandOutput(connection.get(), screens.data->root))
    return XServerKind::kXwayland;
  return XServerKind::kOwn;
}

}  // namespace lumivex::platform
