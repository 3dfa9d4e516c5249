#include "tuning_window/view_settings.h"

#include <QSettings>

namespace varnel {

namespace {

using Scale = std::optional<std::pair<double, double>>;

const char *const delayKey = "view/lockDelay";
const char *const dbKey = "view/lockDb";

Scale readScale(const QSettings &settings, const char *key) {
    const QVariantList range = settings.value(QLatin1String(key)).toList();
    if (range.size() != 2 || !(range[0].toDouble() < range[1].toDouble()))
        return std::nullopt;
    return std::pair(range[0].toDouble(), range[1].toDouble());
}

void writeScale(QSettings &settings, const char *key, const Scale &scale) {
    if (scale)
        settings.setValue(QLatin1String(key), QVariantList{scale->first, scale->second});
    else
        settings.remove(QLatin1String(key));
}

// The flags with their keys (the defaults are ViewState's).
struct Flag {
    bool ViewState::*field;
    const char *key;
};
constexpr Flag flags[] = {{&ViewState::wholeFilter, "view/wholeFilter"},
                          {&ViewState::showDb, "view/showDb"},
                          {&ViewState::band, "view/band"},
                          {&ViewState::againstMemory, "view/againstMemory"},
                          {&ViewState::delta, "view/delta"}};

} // namespace

ViewState readViewState(const QSettings &settings) {
    ViewState view;
    for (const Flag &flag : flags)
        view.*flag.field = settings.value(QLatin1String(flag.key), view.*flag.field).toBool();
    view.delayScale = readScale(settings, delayKey);
    view.dbScale = readScale(settings, dbKey);
    return view;
}

void writeViewState(QSettings &settings, const ViewState &view) {
    for (const Flag &flag : flags)
        settings.setValue(QLatin1String(flag.key), view.*flag.field);
    writeScale(settings, delayKey, view.delayScale);
    writeScale(settings, dbKey, view.dbScale);
}

std::vector<Marker> readMarkers(const QSettings &settings) {
    std::vector<Marker> markers;
    for (const QVariant &saved : settings.value(QStringLiteral("view/markers")).toList()) {
        const QVariantMap fields = saved.toMap();
        const int kind = fields.value(QStringLiteral("kind")).toInt();
        if (kind >= Marker::Fixed && kind <= Marker::LobePeak)
            markers.push_back({static_cast<Marker::Kind>(kind),
                               fields.value(QStringLiteral("f")).toDouble(),
                               fields.value(QStringLiteral("lobe")).toInt()});
    }
    return markers;
}

void writeMarkers(QSettings &settings, const std::vector<Marker> &markers) {
    QVariantList saved;
    for (const Marker &marker : markers)
        saved << QVariantMap{{QStringLiteral("kind"), static_cast<int>(marker.kind)},
                             {QStringLiteral("f"), marker.fMHz},
                             {QStringLiteral("lobe"), marker.lobe}};
    settings.setValue(QStringLiteral("view/markers"), saved);
}

} // namespace varnel
