#pragma once
// The administrator's config.ini of a system installation, looked at before
// it is read. A file that is missing, cannot be read or holds no settings
// section gives way, for this run, to the copy the package shipped; the
// file itself is left as it is. Settings of the user that still name the
// folder of the former installation under /opt are kept and told of.
// Each finding waits in settings.installationNotes until the texts are
// loaded (see loadInstallationCore).
struct InstallLayout;
struct Settings;

void checkSystemConfig(Settings& settings, const InstallLayout& layout);
