#include "tools/recorder/gpsd_client.h"

#include <gps.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// Longest message gpsd sends (a JSON report with a full sky view), with room
// for its line end.
constexpr int GPSD_MESSAGE_SIZE = 16384;
constexpr char GPSD_DEFAULT_PORT[] = "2947";
constexpr int MAX_PORT = 65535;

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

// The fix of a position report that libgps has just unpacked.
GpsdFix FixOf(const gps_data_t& data) {
  GpsdFix fix;
  fix.mode = (data.set & MODE_SET) != 0 ? data.fix.mode : 0;
  if ((data.set & TIME_SET) != 0 && data.fix.time.tv_sec > 0) {
    fix.utcMillis = static_cast<int64_t>(data.fix.time.tv_sec) * 1000 + data.fix.time.tv_nsec / 1000000;
  }
  fix.hasPosition = (data.set & LATLON_SET) != 0 && fix.mode >= MODE_2D && std::isfinite(data.fix.latitude) &&
                    std::isfinite(data.fix.longitude);
  if (fix.hasPosition) {
    fix.lat = data.fix.latitude;
    fix.lon = data.fix.longitude;
  }
  if ((data.set & SPEED_SET) != 0 && std::isfinite(data.fix.speed)) fix.speed = data.fix.speed;
  if ((data.set & TRACK_SET) != 0 && std::isfinite(data.fix.track)) fix.track = data.fix.track;
  return fix;
}

}  // namespace

struct GpsdConnection {
  gps_data_t data{};
  char buffer[GPSD_MESSAGE_SIZE] = {};
};

GpsdConnection* ConnectGpsd(const std::string& host, const std::string& port, std::string* error) {
  auto* connection = new GpsdConnection;
  errno = 0;
  if (gps_open(host.c_str(), port.c_str(), &connection->data) != 0) {
    *error = gps_errstr(errno);
    delete connection;
    return nullptr;
  }
  // JSON for gpsd's own reports, NMEA for the receivers' sentences as they
  // come (gpsd makes sentences from the fixes of a receiver that speaks a
  // binary protocol).
  if (gps_stream(&connection->data, WATCH_ENABLE | WATCH_JSON | WATCH_NMEA, nullptr) != 0) {
    *error = "the watch request could not be sent";
    gps_close(&connection->data);
    delete connection;
    return nullptr;
  }
  return connection;
}

bool GpsdMessageWaiting(GpsdConnection* connection, int timeoutMs) {
  return gps_waiting(&connection->data, timeoutMs * 1000);
}

int ReadGpsdMessage(GpsdConnection* connection, GpsdMessage* message) {
  connection->buffer[0] = '\0';
  int length = gps_read(&connection->data, connection->buffer, GPSD_MESSAGE_SIZE - 1);
  if (length < 0) return -1;
  connection->buffer[GPSD_MESSAGE_SIZE - 1] = '\0';
  const char* text = connection->buffer;
  message->text.assign(text, std::strcspn(text, "\r\n"));
  message->fix = GpsdFix();
  if (text[0] == '$') {
    message->kind = GPSD_SENTENCE;
  } else if (StartsWith(text, "{\"class\":\"TPV\"")) {
    message->kind = GPSD_FIX;
    message->fix = FixOf(connection->data);
  } else if (StartsWith(text, "{\"class\":\"WATCH\"")) {
    message->kind = GPSD_WATCHING;
  } else {
    message->kind = GPSD_OTHER;
  }
  return 0;
}

void CloseGpsd(GpsdConnection* connection) {
  if (connection == nullptr) return;
  gps_close(&connection->data);
  delete connection;
}

int ParseGpsdAddress(const std::string& address, std::string* host, std::string* port) {
  std::string hostPart = address, portPart = GPSD_DEFAULT_PORT;
  if (!address.empty() && address[0] == '[') {
    size_t close = address.find(']');
    if (close == std::string::npos) return -1;
    hostPart = address.substr(1, close - 1);
    if (close + 1 < address.size()) {
      if (address[close + 1] != ':') return -1;
      portPart = address.substr(close + 2);
    }
  } else if (size_t colon = address.rfind(':'); colon != std::string::npos && address.find(':') == colon) {
    hostPart = address.substr(0, colon);
    portPart = address.substr(colon + 1);
  }
  if (hostPart.empty() || portPart.empty() || portPart.size() > 5) return -1;
  int value = 0;
  for (char c : portPart) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > MAX_PORT) return -1;
  *host = hostPart;
  *port = portPart;
  return 0;
}
