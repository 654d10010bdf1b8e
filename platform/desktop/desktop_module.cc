// desktop_module.cc - the desktop, a module loaded only when windows are to be shown: the GTK back end, the HTML preview on WebKitGTK and the passphrase dialog.
#include "platform/browser/webkit/webkit_browser.h"
#include "platform/ui/passphrase_prompt.h"
#include "platform/windows/gtk/desktop.h"

// Opens the display on the calling thread and makes the desktop the user interface of the
// process; 0 when no display can be opened, with nothing changed.
extern "C" __attribute__((visibility("default"))) int quillora_use_desktop() {
  if (!winsys::use_desktop_back_end()) return 0;
  register_webkit_browser();
  platform_ui::set_passphrase_asker(winsys::ask_passphrase_on_desktop);
  return 1;
}
