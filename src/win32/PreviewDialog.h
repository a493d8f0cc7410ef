// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The preview box: a found file's first bytes, read from the volume by the
// copy itself (session::FileHeadReader, into memory), shown as text when they
// are text, else in hex; the user switches between the two.

#include "win32/DialogBase.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sarvik::win32 {

struct PreviewBytes {
    std::string name; ///< UTF-8, as listed
    std::vector<std::byte> bytes;
    std::uint64_t fileSize = 0; ///< the row's size
    std::uint64_t intact = 0;   ///< how many of the bytes are still the file's
};

class PreviewDialog final : public DialogBase {
public:
    explicit PreviewDialog(PreviewBytes content) : m_content(std::move(content)) {}
    ~PreviewDialog() override;
    PreviewDialog(const PreviewDialog&) = delete;
    PreviewDialog& operator=(const PreviewDialog&) = delete;

private:
    void init() override;
    bool command(int id, int code) override;
    void drive() override;
    void show(bool hex);

    PreviewBytes m_content;
    HFONT m_fixed = nullptr;
};

} // namespace sarvik::win32
