#include "app/log_viewer_app.h"

#include "app/calendar_dlg.h"
#include "mapdata/map_owner.h"
#include "platform/window.h"

bool LogViewerApp::InitInstance() {
  registryKey = REGISTRY_KEY_NAME;
  // Another copy counts only when it shows the same device: viewers of
  // other device roots on this host are other devices.
  foundAnotherCopy = FindWindowOnDevice(SINGLE_INSTANCE_TITLE) != 0;
  if (foundAnotherCopy) return false;
  // The map data live as long as the program's screens: every map screen
  // and renderer made under the calendar shares them.
  MapDataOwner map;
  CalendarDlg calendar(&map);
  calendar.RunModal();
  calendar.DestroyWindow();
  return false;
}
