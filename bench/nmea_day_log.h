// The benchmark's NMEA day log: what a receiver in a car around Tokyo
// writes at 1 Hz, deterministic for a given size.
#pragma once

#include <cstddef>
#include <string>

// The size of the benchmark log: exactly what the reader reads of a file.
constexpr size_t NMEA_DAY_LOG_BYTES = 18000000;

// `bytes` bytes of log: per second $GPRMC, $GPGGA, $GPGSA and two or three
// $GPGSV (8..12 satellites), with valid checksums and CR LF line ends. The
// day starts at 07:00 Japan time (22:00 UTC the day before), so it crosses
// a UTC date; the last sentence is cut where the size is reached.
std::string GenerateNmeaDayLog(size_t bytes);
