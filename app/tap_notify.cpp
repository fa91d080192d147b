#include "app/tap_notify.h"

WindowHandle tapNotifyTarget = 0;

void NotifyTap() {
  if (tapNotifyTarget != 0) PostMessageTo(tapNotifyTarget, MSG_TAP, 1, 0);
}
