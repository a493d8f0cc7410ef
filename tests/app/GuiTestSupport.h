// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Qt tests of the desktop program share: a device whose reads can be
// held (to catch a scan or a copy while it runs) and the answering of modal
// boxes, which open their own event loop and so must be answered from a timer.

#include "app/MessageBoxes.h"
#include "disk/BlockSource.h"
#include "disk/Volume.h"
#include "platform/Devices.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace sarvik::guitest {

// ---- A device whose reads can be held ---------------------------------------

// Holds the reads of workers only: the window's own thread (which made the
// gate) reads on, as a test that held it could never let it go.
struct Gate {
    std::thread::id owner = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
    int allowance = 0; ///< reads let through while closed
    int waiting = 0;   ///< workers standing at the closed gate
    /// Lets `reads` more reads through a closed gate.
    void allow(int reads)
    {
        {
            std::lock_guard lock(mutex);
            allowance += reads;
        }
        changed.notify_all();
    }
    void close()
    {
        std::lock_guard lock(mutex);
        closed = true;
    }
    void open()
    {
        {
            std::lock_guard lock(mutex);
            closed = false;
        }
        changed.notify_all();
    }
    /// Lets one read through and waits until a worker stands at the gate
    /// again, so that nothing it does between two reads goes unseen; false
    /// when none came back within `ms` (its reads have ended).
    bool step(int ms = 200)
    {
        allow(1);
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return waiting > 0 && allowance == 0; });
    }
    void pass()
    {
        if (std::this_thread::get_id() == owner)
            return;
        std::unique_lock lock(mutex);
        ++waiting;
        changed.notify_all();
        changed.wait(lock, [this] { return !closed || allowance > 0; });
        --waiting;
        if (closed)
            --allowance;
    }
};

class GatedSource final : public disk::BlockSource {
public:
    GatedSource(std::shared_ptr<const disk::BlockSource> base, Gate& gate) : m_base(std::move(base)), m_gate(gate) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base->size(); }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        m_gate.pass();
        return m_base->read(offset, buffer);
    }

private:
    std::shared_ptr<const disk::BlockSource> m_base;
    Gate& m_gate;
};

class GatedDevices final : public disk::DeviceProvider {
public:
    disk::OpenResult open(const std::string& path) override
    {
        disk::OpenResult base = m_real.open(path);
        if (base.source)
            base.source = std::make_shared<GatedSource>(base.source, gate);
        return base;
    }
    std::optional<std::string> volumeLabel(const std::string& path) override { return m_real.volumeLabel(path); }
    Gate gate;

private:
    platform::SystemDeviceProvider m_real;
};

// Opens the gate when a test leaves, so that a failed check never leaves the
// worker waiting (the window joins it on destruction).
struct OpenOnExit {
    Gate& gate;
    ~OpenOnExit() { gate.open(); }
};

// ---- Answering modal boxes --------------------------------------------------

// Answers still waiting; a test's cleanup drops them (dropPendingAnswers), so
// that none outlives the locals it writes to.
inline QList<QPointer<QTimer>> g_pendingAnswers;

inline void dropPendingAnswers()
{
    for (const QPointer<QTimer>& timer : std::as_const(g_pendingAnswers))
        delete timer.data();
    g_pendingAnswers.clear();
}

// Runs `act` on the next modal dialog of type T that opens.
template <typename T = QDialog> void whenModal(std::type_identity_t<std::function<void(T*)>> act)
{
    auto* timer = new QTimer(qApp);
    g_pendingAnswers << timer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(dialog);
    });
    timer->start();
}

inline QPushButton* buttonWithText(QWidget* dialog, const QString& text)
{
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text && b->isVisible())
            return b;
    return nullptr;
}

// What a box asked, recorded by answerWith.
struct Answer {
    QString asked;
    QString title;
    int kind = 0;
    bool seen = false;
};

// Answers the next modal dialog of type T with the button `text` (rejects it
// when it has none) and records what it asked.
template <typename T = QDialog> void answerWith(const QString& text, Answer* record = nullptr)
{
    whenModal<T>([text, record](T* dialog) {
        if (record != nullptr) {
            record->seen = true;
            record->title = dialog->windowTitle();
            if (auto* box = qobject_cast<app::MessageBox*>(dialog)) {
                record->asked = box->text();
                record->kind = static_cast<int>(box->kind());
            }
        }
        if (QPushButton* b = buttonWithText(dialog, text))
            b->click();
        else
            dialog->reject();
    });
}

// Answers the next file chooser with `path`; records its title and filters.
struct ChooserSeen {
    QString title;
    QStringList filters;
    bool seen = false;
};
inline void chooseFile(const QString& path, ChooserSeen* seen = nullptr)
{
    whenModal<QFileDialog>([path, seen](QFileDialog* dialog) {
        if (seen != nullptr) {
            seen->seen = true;
            seen->title = dialog->windowTitle();
            seen->filters = dialog->nameFilters();
        }
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        const QFileInfo info(path);
        dialog->setDirectory(info.absolutePath());
        dialog->selectFile(path);
        // The chooser lists its folder asynchronously; until it has, a name
        // selected in it is taken relative to the working folder. The full
        // path typed into the name field is taken as it stands.
        if (auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            field->setText(info.absoluteFilePath());
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

} // namespace sarvik::guitest
