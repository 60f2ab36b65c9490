// The Q42 bootloader as the program relies on it: the messages, the frame and header
// layouts, and the time the program gives the radio. The one home of these facts for the
// link, the windows, q42flash, q42pack, the tests and the fuzz targets. The simulated radio
// keeps its own copy on purpose: it is the other side's witness, so a wrong value here
// cannot be hidden by the same wrong value there.
#pragma once

#include <cstddef>
#include <cstdint>

// The link: 9600 baud, 8 data bits, no parity, one stop bit, no flow control of either kind.
inline constexpr uint32_t kLinkBaudRate = 9600;
inline constexpr int kLinkDataBits = 8;
inline constexpr int kLinkStopBits = 1;
enum class LinkParity : uint8_t { None, Odd, Even };
inline constexpr LinkParity kLinkParity = LinkParity::None;

// The greeting "OK\r" at power-on, answered at once with the programming command; the
// radio's "#" must be the next byte after the greeting's carriage return.
inline constexpr uint8_t kGreetingFirst = 'O';
inline constexpr uint8_t kGreetingSecond = 'K';
inline constexpr uint8_t kGreetingEnd = 0x0D;
inline constexpr uint8_t kProgrammingCommand[] = {0x1B, 0x1B, 'P', 'R', 'O', 'G'};
inline constexpr uint8_t kProgrammingAcknowledgement = '#';

// The image goes to the radio's application area from this address on; image byte 0, where
// the application header lives, is written there. Addresses travel most significant byte first.
inline constexpr uint32_t kApplicationAddress = 0x00020000;
inline constexpr uint8_t kHeaderRequest[] = {'R', 0x00, 0x02, 0x00, 0x00};

// The application header, in the radio's reply and at the start of the image alike: the
// name and version are length-prefixed fields (5 and 6 characters when valid).
inline constexpr uint16_t kHeaderSize = 256;
inline constexpr int kScrambledHeaderBytes = 128;  // the rest is left as received
inline constexpr int kNameField = 16;
inline constexpr uint8_t kNameLength = 5;
inline constexpr int kVersionField = 22;
inline constexpr uint8_t kVersionLength = 6;
inline constexpr int kVersionFieldEnd = kVersionField + 1 + kVersionLength;  // 29

// A write frame: "W", the block's address, 1024 scrambled bytes and two check bytes, the
// sum of the block's bytes from 0 and from 165, each modulo 256.
inline constexpr int32_t kBlockSize = 1024;
inline constexpr int kFrameDataOffset = 5;
inline constexpr int kFrameSize = kFrameDataOffset + kBlockSize + 2;  // 1031
inline constexpr uint8_t kFrameCommand = 'W';
inline constexpr uint8_t kCheckSeedB = 165;
inline constexpr uint8_t kWriteAcknowledgement = 13;
// A 1024-byte block of this value is the image's filler: no frame is sent for it.
inline constexpr uint8_t kFillerByte = 0xFF;

// The wire scrambling restarts from this key for every frame and every header reply.
inline constexpr uint8_t kScrambleSeed = 0x5B;

// Time is counted in ticks of the update window's 10 ms timer, as the radio was designed
// against; the milliseconds are derived, for hosts that keep a clock instead of a timer.
inline constexpr int kTickMs = 10;
// The window looks at the settled link on its 500 ms step, never straight after the "#".
inline constexpr int kLinkStepMs = 500;
inline constexpr uint16_t kHeaderTimeoutTicks = 500;  // the 256-byte reply
inline constexpr uint16_t kWriteTimeoutTicks = 300;   // a frame's answer, its time on the wire included
// A radio that missed the programming command (a loose wire, a power blip) never sends its
// "#", and the greeting of its next power-on would fall on a link still awaiting it. So a
// host that keeps a clock listens for the greeting again after this long: the "#" takes the
// command's and its own time on the wire (7 ms at 9600 baud) and a USB converter's latency
// (16 ms each way), and one 500 ms step is ample for that, yet shorter than switching a radio
// off and on again. The window keeps its recogniser as it is.
inline constexpr int kAcknowledgementWaitMs = kLinkStepMs;
inline constexpr int kHeaderTimeoutMs = kHeaderTimeoutTicks * kTickMs;
inline constexpr int kWriteTimeoutMs = kWriteTimeoutTicks * kTickMs;

// The link's side of the handshake: the greeting recognised byte by byte, the command sent,
// the "#" taken; the next tick settles the link and the 500 ms step makes it active, where
// replies are read. Only the update's own steps set it back to WaitGreeting.
enum class BootState : uint8_t { WaitGreeting, SeenO, SeenOK, CommandSent, Acknowledged, Settled, Active };
