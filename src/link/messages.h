// The texts the encoder link shows, in one table.
#pragma once

namespace ctl::msg {

// Opening, configuring and closing the port.
inline constexpr const char* kCommErrorCaption = "Comm Error";
inline constexpr const char* kConfigPortCaption = "ConfigPort";
inline constexpr const char* kCannotOpenPort = "Could not open comm port.";
inline constexpr const char* kCannotBuildDcb = "Cannot build DCB.";
inline constexpr const char* kCannotSetCommParameters = "Cannot set comm parameters.";
inline constexpr const char* kCannotSetTimeouts = "Failed to set timeouts.";
inline constexpr const char* kCannotClosePort = "Can't close port.";

// The line definition given to BuildCommDCB.
inline constexpr const char* kLineDefinition = "baud=9600 parity=N data=8 stop=1";

// One query of the box.
inline constexpr const char* kWriteCommErrorCaption = "Write Comm Error";
inline constexpr const char* kReadCommErrorCaption = "Read Comm Error";
inline constexpr const char* kCommunicationErrorCaption = "Communication Error";
inline constexpr const char* kFailedSendQ = "Failed to send Q command.";
inline constexpr const char* kCannotReadQ = "Can't read after sending Q command.";
inline constexpr const char* kFailedSendP = "Failed to send P command.";
inline constexpr const char* kCannotReadP = "Can't read after sending P command.";
inline constexpr const char* kCheckConnections = "Close serial port and check connections.";

// What a reply buffer and a field buffer hold before anything is read.
inline constexpr char kEmptyBuffer[16] = "EMPTY BUFFER";

}  // namespace ctl::msg
