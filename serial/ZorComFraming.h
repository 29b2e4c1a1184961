#pragma once

// Text rules of the port worker, kept free of threads and ports: number parsing of the settings,
// the framing of a command before it is written, and the texts of write errors.

#include <string>
#include <string_view>

namespace serial {

// The text as a decimal int (optional sign, digits only, in range), else Fallback.
int ParseDecimal(std::string_view Text, int Fallback);

// The sum of the command's byte values (each 0 to 255).
long long CommandChecksum(std::string_view Command);

// The bytes written for a queued command, without the final CR: with UseCRC "$#" + checksum + "@"
// before the command; with UseRS485 one address byte in front of all (255 for a general call,
// else RS485adr as a decimal number, 16 when it is none, modulo 256).
std::string FrameCommand(std::string_view Command, bool UseCRC, bool UseRS485, bool GeneralCall,
                         std::string_view RS485adr);

// The error text reported at once for a failed write: "err - " + the driver's text for OS errors
// and codes up to 9991, else the code, " - Serial Eror: " and the code's name.
std::string ImmediateErrorText(int Code, std::string_view DriverText);

// The error text reported when a command is given up after repeated write failures.
std::string SendLimitErrorText(int Code, std::string_view DriverText);

} // namespace serial
