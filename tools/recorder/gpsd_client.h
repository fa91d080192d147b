// A connection to gpsd through its client library: the receivers' NMEA
// sentences as gpsd passes them on, and the fixes gpsd reports.
#pragma once

#include <cstdint>
#include <string>

// What one message from gpsd is.
enum GpsdMessageKind {
  GPSD_SENTENCE = 0,  // an NMEA sentence of a receiver ("$GPRMC,...")
  GPSD_FIX = 1,       // a position report (time, position, speed, course)
  GPSD_WATCHING = 2,  // gpsd's answer to the watch request: sentences follow
  GPSD_OTHER = 3,     // anything else (version, devices, sky view ...)
};

// A fix as gpsd reports it.
struct GpsdFix {
  int mode = 0;               // 0 unknown, 1 no fix, 2 two-dimensional, 3 three-dimensional
  int64_t utcMillis = -1;     // time of the fix, milliseconds since 1970 UTC; -1 without one
  bool hasPosition = false;   // lat and lon hold a position
  double lat = 0.0, lon = 0.0;  // degrees, north and east positive
  double speed = -1.0;        // metres per second; below 0 when unknown
  double track = -1.0;        // course over ground, degrees from true north; below 0 when unknown
};

struct GpsdMessage {
  GpsdMessageKind kind = GPSD_OTHER;
  std::string text;  // the message as gpsd sent it, without its line end
  GpsdFix fix;       // for GPSD_FIX
};

struct GpsdConnection;

// Connects to gpsd at `host`:`port` and asks for every receiver's NMEA
// sentences and gpsd's reports. Null with the reason in *error when gpsd
// cannot be reached. Close with CloseGpsd.
GpsdConnection* ConnectGpsd(const std::string& host, const std::string& port, std::string* error);
// Whether a message can be read within `timeoutMs` (0: only what has come
// already). False also when the wait is interrupted by a signal.
bool GpsdMessageWaiting(GpsdConnection* connection, int timeoutMs);
// Reads one message: 0, or -1 when the connection is lost (gpsd ended).
int ReadGpsdMessage(GpsdConnection* connection, GpsdMessage* message);
// Ends the connection; null is accepted.
void CloseGpsd(GpsdConnection* connection);

// Splits "HOST:PORT" (or "HOST", or "[V6ADDRESS]:PORT") into its parts; the
// port defaults to gpsd's own, 2947. Returns 0, or -1 for an empty host or
// a port that is not a number from 1 to 65535.
int ParseGpsdAddress(const std::string& address, std::string* host, std::string* port);
