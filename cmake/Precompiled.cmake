# Parsing Qt's and the standard library's headers took half of each file's compile time. Every
# product target (nuv_product_target) and every test shares one precompiled header of those it
# uses most, made once per build. The hosts are compiled with the fewest macros (Qt Core only for
# the product), because a header made with a macro the user lacks is refused; -Winvalid-pch turns
# a refusal into a warning, an error in the presets, so the speed cannot quietly go.
add_library(nuv_product_pch OBJECT cmake/pch_host.cpp)
target_link_libraries(nuv_product_pch PRIVATE Qt6::Core nuv_product_warnings)
target_precompile_headers(nuv_product_pch PRIVATE
    <QString> <QByteArray> <QStringList> <QList> <QHash> <QFile> <QFileInfo> <QDir> <QDateTime>
    <QCoreApplication> <QSaveFile> <QElapsedTimer> <QObject> <QEvent> <QThread>
    <algorithm> <condition_variable> <cstdint> <cstring> <functional> <memory> <mutex>
    <optional> <stdexcept> <vector>)
