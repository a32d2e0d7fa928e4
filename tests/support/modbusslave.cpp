#include "modbusslave.h"

#include "serial/ptyline.h"

#include <QDir>
#include <QFile>

#include <modbus.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Opens a pseudo-terminal; returns the master and stores the slave's path.
int openPty(QString *slavePath)
{
    PtyLine line = PtyLine::open();
    if (line.keepSlave >= 0)
        ::close(line.keepSlave); // the slave side is opened by its user
    *slavePath = line.slavePath;
    return line.master;
}

int openRaw(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios t{};
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    return fd;
}

void writeAll(int fd, const char *p, ssize_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w > 0) {
            p += w;
            n -= w;
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            ::usleep(1000);
        } else {
            return;
        }
    }
}

} // namespace

struct ModbusSlave::Impl
{
    modbus_t *ctx = nullptr;
    modbus_mapping_t *map = nullptr;
    mutable std::mutex lock;
    int slaveMaster = -1;   // master of the line libmodbus opened
    int programMaster = -1; // master of the line the program opens
    int keepProgramSide = -1;
};

ModbusSlave::ModbusSlave(int address) : d(std::make_unique<Impl>()), m_address(address) {}

ModbusSlave::~ModbusSlave()
{
    m_stop = true;
    if (m_serveThread.joinable())
        m_serveThread.join();
    if (m_bridgeThread.joinable())
        m_bridgeThread.join();
    if (d->ctx) {
        modbus_close(d->ctx);
        modbus_free(d->ctx);
    }
    if (d->map)
        modbus_mapping_free(d->map);
    for (int fd : {d->slaveMaster, d->programMaster, d->keepProgramSide})
        if (fd >= 0)
            ::close(fd);
}

bool ModbusSlave::start()
{
    QString slaveSide;
    d->slaveMaster = openPty(&slaveSide);
    d->programMaster = openPty(&m_programSide);
    if (d->slaveMaster < 0 || d->programMaster < 0) {
        m_error = QStringLiteral("no pseudo-terminal");
        return false;
    }
    d->keepProgramSide = openRaw(m_programSide);
    d->map = modbus_mapping_new(8, 8, 0x1371, 0);
    d->ctx = modbus_new_rtu(slaveSide.toLocal8Bit().constData(), 9600, 'N', 8, 1);
    if (!d->map || !d->ctx) {
        m_error = QStringLiteral("libmodbus: %1").arg(modbus_strerror(errno));
        return false;
    }
    modbus_set_slave(d->ctx, m_address);
    modbus_set_error_recovery(d->ctx, MODBUS_ERROR_RECOVERY_PROTOCOL);
    // Wake up regularly so the thread can end.
    modbus_set_indication_timeout(d->ctx, 0, 100000);
    if (modbus_connect(d->ctx) != 0) {
        m_error = QStringLiteral("libmodbus connect: %1").arg(modbus_strerror(errno));
        return false;
    }
    m_serveThread = std::thread([this] { serve(); });
    m_bridgeThread = std::thread([this] { bridge(); });
    return true;
}

bool ModbusSlave::linkAs(const QString &folder, int n) const
{
    QDir(folder).mkpath(QStringLiteral("ports"));
    const QString link = QDir(folder).filePath(QStringLiteral("ports/COM%1").arg(n));
    QFile::remove(link);
    return QFile::link(m_programSide, link);
}

void ModbusSlave::serve()
{
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!m_stop) {
        const int rc = modbus_receive(d->ctx, query);
        if (rc > 0) {
            ++m_requests;
            std::lock_guard<std::mutex> g(d->lock);
            modbus_reply(d->ctx, query, rc, d->map);
        } else if (rc < 0 && errno != ETIMEDOUT) {
            ::usleep(5000); // a bad frame: libmodbus flushed the line
            ++m_rejected;
        }
    }
}

void ModbusSlave::bridge()
{
    char buf[512];
    while (!m_stop) {
        pollfd fds[2] = {{d->slaveMaster, POLLIN, 0}, {d->programMaster, POLLIN, 0}};
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                writeAll(i == 0 ? d->programMaster : d->slaveMaster, buf, n);
        }
        if ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR))
            ::usleep(5000);
    }
}

void ModbusSlave::setCoils(uint8_t bits)
{
    std::lock_guard<std::mutex> g(d->lock);
    for (int k = 0; k < 8; ++k)
        d->map->tab_bits[k] = (bits >> k) & 1;
}

uint8_t ModbusSlave::coils() const
{
    std::lock_guard<std::mutex> g(d->lock);
    uint8_t v = 0;
    for (int k = 0; k < 8; ++k)
        if (d->map->tab_bits[k])
            v |= uint8_t(1u << k);
    return v;
}

void ModbusSlave::setDiscreteInputs(uint8_t bits)
{
    std::lock_guard<std::mutex> g(d->lock);
    for (int k = 0; k < 8; ++k)
        d->map->tab_input_bits[k] = (bits >> k) & 1;
}

uint16_t ModbusSlave::holdingRegister(int address) const
{
    std::lock_guard<std::mutex> g(d->lock);
    if (address < 0 || address >= d->map->nb_registers)
        return 0;
    return d->map->tab_registers[address];
}
