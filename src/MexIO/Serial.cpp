// RS-232 backend.
//
// Flow control with Xon/Xoff: only the instrument paces us. The tty is set
// to IXON (the kernel stops our output the moment an XOFF arrives and
// resumes on XON) and never to IXOFF, so the kernel never inserts XON/XOFF
// characters into what we send: a binary block may contain 0x11 and 0x13
// and goes out byte for byte. The reverse direction carries only text
// replies from the instrument, in which 0x11/0x13 cannot occur, so letting
// the kernel take them out of the input loses nothing; this driver never
// reads a binary block. (Pacing in user space instead would react only
// after a whole kernel buffer had gone out.)

#include <sys/ioctl.h>
#include <termios.h>

#include "MexIO/AsioStream.h"
#include "MexIO/Transport.h"

namespace onex::mexio {

namespace {

class SerialTransport : public AsioStreamTransport<asio::serial_port> {
  public:
    SerialTransport(const std::string& path, int32_t baudrate, Handshake handshake)
        : AsioStreamTransport("RS232 " + path + " at " + std::to_string(baudrate) + " baud") {
        asio::error_code ec;
        stream_.open(path, ec);
        if (ec) throw IoError(kNotConnected, "cannot open " + path + " (" + ec.message() + ")");
        using sp = asio::serial_port_base;
        stream_.set_option(sp::baud_rate(static_cast<unsigned>(baudrate)), ec);
        if (ec) {
            throw IoError(kBadArgument,
                          "baud rate " + std::to_string(baudrate) + " not supported by " + path);
        }
        stream_.set_option(sp::character_size(8), ec);
        if (!ec) stream_.set_option(sp::parity(sp::parity::none), ec);
        if (!ec) stream_.set_option(sp::stop_bits(sp::stop_bits::one), ec);
        if (!ec)
            stream_.set_option(
                sp::flow_control(handshake == Handshake::RtsCts ? sp::flow_control::hardware
                                                                : sp::flow_control::none),
                ec);
        if (ec) throw IoError(kNotConnected, "cannot set up " + path + " (" + ec.message() + ")");
        termios t{};
        int fd = stream_.native_handle();
        if (::tcgetattr(fd, &t) != 0)
            throw IoError(kNotConnected, "cannot read the settings of " + path);
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (handshake == Handshake::XonXoff) {
            t.c_iflag |= IXON;
            t.c_cc[VSTART] = 0x11;
            t.c_cc[VSTOP] = 0x13;
        }
        if (::tcsetattr(fd, TCSANOW, &t) != 0)
            throw IoError(kNotConnected, "cannot set the flow control of " + path);
        ::tcflush(fd, TCIOFLUSH);
    }

    ~SerialTransport() override {
        asio::error_code ec;
        stream_.close(ec);
    }

    void goToLocal(Millis timeout) override {
        static const char line[] = ":SYSTem:COMMunicate:GTLocal\n";
        write({reinterpret_cast<const uint8_t*>(line), sizeof line - 1}, timeout);
    }

  private:
    std::size_t availableBytes() override {
        int n = 0;
        if (::ioctl(stream_.native_handle(), FIONREAD, &n) != 0 || n < 0) return 0;
        return static_cast<std::size_t>(n);
    }
    std::size_t unsentBytes() override {
        int n = 0;
        if (::ioctl(stream_.native_handle(), TIOCOUTQ, &n) != 0 || n < 0) return 0;
        return static_cast<std::size_t>(n);
    }
};

}  // namespace

std::unique_ptr<Transport> openSerial(const std::string& path, int32_t baudrate,
                                      Handshake handshake, Millis /*timeout*/) {
    return std::make_unique<SerialTransport>(path, baudrate, handshake);
}

}  // namespace onex::mexio
