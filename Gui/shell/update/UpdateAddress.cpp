#include "shell/update/UpdateAddress.h"

QString UpdateServiceAddress() {
    const QString fromEnvironment = qEnvironmentVariable("MOXEL_UPDATE_URL");
    return fromEnvironment.isEmpty() ? QString::fromLatin1(kUpdateServiceAddress) : fromEnvironment;
}
