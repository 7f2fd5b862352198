#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace qelvo {

// SIGINT and SIGTERM, while this lives, come to the GUI thread as requested() instead of
// ending the program on the spot: the program then closes its windows as the user would,
// so work in progress (a time-lapse picture being written) finishes and leaves whole files.
// The handler only writes a byte to a socket the event loop watches.  One at a time.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the signals could not be caught (they then end the program as before).
    bool active() const { return notifier_ != nullptr; }

signals:
    void requested();

private:
    void drain();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace qelvo
