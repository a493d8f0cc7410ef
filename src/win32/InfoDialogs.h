// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The boxes that show values or take a few: a row's properties, its new
// name, the scanned drive's information, the recovery settings, the about box.

#include "win32/DialogBase.h"
#include "win32/DialogRules.h"

#include "disk/DriveInformation.h"
#include "recovery/RecoverySettings.h"

#include <string>

namespace sarvik::win32 {

/// What the properties box shows of one row, UTF-8.
struct PropertiesValues {
    std::string name, folder, size, contents, condition, clusters, created, modified;
    bool isFolder = false;
};

class PropertiesDialog final : public DialogBase {
public:
    explicit PropertiesDialog(PropertiesValues values) : m_values(std::move(values)) {}

private:
    void init() override;
    PropertiesValues m_values;
};

/// Asks for a row's new name; `name()` is the text typed (empty: keep the old one).
class RenameDialog final : public DialogBase {
public:
    explicit RenameDialog(std::wstring oldName) : m_old(std::move(oldName)) {}
    [[nodiscard]] const std::wstring& name() const { return m_new; }

private:
    void init() override;
    bool command(int id, int code) override;
    void drive() override;
    std::wstring m_old, m_new;
};

class DriveInformationDialog final : public DialogBase {
public:
    explicit DriveInformationDialog(disk::DriveInformation values) : m_values(std::move(values)) {}

private:
    void init() override;
    disk::DriveInformation m_values;
};

/// Changes `settings` when closed with OK.
class SettingsDialog final : public DialogBase {
public:
    explicit SettingsDialog(recovery::RecoverySettings& settings) : m_settings(settings) {}

private:
    void init() override;
    bool command(int id, int code) override;
    void drive() override;
    recovery::RecoverySettings& m_settings;
};

class AboutDialog final : public DialogBase {
private:
    void init() override;
};

} // namespace sarvik::win32
