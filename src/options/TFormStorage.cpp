#include "options/TFormStorage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMetaProperty>
#include <QVariant>

#include "base/Text.h"

namespace lumivex {

namespace {

// Stored property names and the Qt properties that stand for them, tried in order.
struct PropertyAlias {
  const char* stored;
  std::array<const char*, 2> qt;
};
constexpr PropertyAlias kAliases[] = {
    {"Checked", {"checked", nullptr}},        {"Text", {"currentText", "text"}},
    {"ItemIndex", {"currentIndex", nullptr}}, {"Position", {"value", nullptr}},
    {"HotKey", {"hotKey", nullptr}},          {"Enabled", {"enabled", nullptr}},
};

enum class Kind { Int, Bool, Text };

// One stored entry resolved against the owner form's controls.
struct BoundProperty {
  QObject* control = nullptr;
  QMetaProperty property;
  Kind kind = Kind::Text;
  QString valueName;  // component + "_" + property

  QString currentText() const {
    QVariant v = property.read(control);
    if (kind == Kind::Bool) return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (kind == Kind::Int) return QString::number(v.toInt());
    return v.toString();
  }
};

std::optional<BoundProperty> bind(QWidget* owner, const QString& entry) {
  auto dot = entry.indexOf('.');
  if (!owner || dot <= 0) return std::nullopt;
  QString component = entry.left(dot), propertyName = entry.mid(dot + 1);
  QObject* control = nullptr;
  for (QObject* child : owner->findChildren<QObject*>())
    if (child->objectName().compare(component, Qt::CaseInsensitive) == 0) {
      control = child;
      break;
    }
  if (!control) return std::nullopt;
  for (const auto& alias : kAliases) {
    if (propertyName.compare(QLatin1String(alias.stored), Qt::CaseInsensitive) != 0) continue;
    for (const char* qtName : alias.qt) {
      if (!qtName) continue;
      const QMetaObject* meta = control->metaObject();
      int index = meta->indexOfProperty(qtName);
      if (index < 0) continue;
      BoundProperty bound{control, meta->property(index), Kind::Text,
                          control->objectName() + '_' + QLatin1String(alias.stored)};
      auto type = bound.property.metaType().id();
      bound.kind = type == QMetaType::Bool  ? Kind::Bool
                   : type == QMetaType::Int ? Kind::Int
                                            : Kind::Text;
      if (!bound.property.isWritable()) return std::nullopt;
      return bound;
    }
  }
  return std::nullopt;
}

QString trimmedText(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  auto t = trimmed(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

std::string toStd(const QString& s) { return s.toStdString(); }

}  // namespace

TFormStorage::TFormStorage(SettingsFile key, QWidget* owner) : key_(std::move(key)), owner_(owner) {
  if (owner) owner->installEventFilter(this);
}

TFormStorage::~TFormStorage() {
  if (!Active || saved_) return;
  try {
    SaveFormValues();
  } catch (const std::exception& e) {
    reportError(e);
  }
}

QString TFormStorage::ReadSetting(const QString& name, const QString& fallback) const {
  auto value = key_.read(toStd(name));
  return value ? QString::fromStdString(*value) : fallback;
}

int TFormStorage::ReadSettingInt(const QString& name, int fallback) const {
  auto value = key_.read(toStd(name));
  return value ? parseInt(*value).value_or(fallback) : fallback;
}

void TFormStorage::WriteSetting(const QString& name, const QString& value) const {
  key_.write(toStd(name), toStd(value));
}

void TFormStorage::WriteSettingInt(const QString& name, int value) const {
  WriteSetting(name, QString::number(value));
}

void TFormStorage::SaveFormValues() {
  // A form that was never restored must not overwrite the stored values with its design state.
  if (Active && !restored_) return;
  WriteSettingInt(QStringLiteral("FormVersion"), Version);
  for (const QString& entry : StoredProps) {
    auto bound = bind(owner_, entry);
    if (!bound) continue;
    QString text = bound->currentText();
    if (text.isEmpty() && bound->kind != Kind::Text) continue;
    WriteSetting(bound->valueName, trimmedText(text));
  }
  saved_ = true;
}

void TFormStorage::RestoreFormValues() {
  saved_ = false;
  if (ReadSettingInt(QStringLiteral("FormVersion"), 0) >= Version) {
    for (const QString& entry : StoredProps) {
      try {
        auto bound = bind(owner_, entry);
        if (!bound) continue;
        QString text = trimmedText(ReadSetting(bound->valueName, bound->currentText()));
        QVariant value;
        if (bound->kind == Kind::Int) {
          value = parseInt(toStd(text)).value_or(0);
        } else if (bound->kind == Kind::Bool) {
          if (isTrueText(toStd(text)))
            value = true;
          else if (equalsIgnoreCase(toStd(text), "false"))
            value = false;
          else
            continue;  // neither word: the control keeps its state
        } else {
          value = text;
        }
        bound->property.write(bound->control, value);
      } catch (const std::exception&) {
        continue;  // one unreadable entry must not keep the others from being restored
      }
    }
  }
  restored_ = true;
}

bool TFormStorage::eventFilter(QObject* watched, QEvent* event) {
  if (watched != owner_) return false;
  if (event->type() == QEvent::Show && Active) {
    RestoreFormValues();  // before the form's own show handler, which sees the restored values
  } else if (event->type() == QEvent::Close) {
    // The form decides first whether it closes; only a close that goes ahead saves.
    owner_->removeEventFilter(this);
    QCoreApplication::sendEvent(owner_, event);
    if (owner_) owner_->installEventFilter(this);
    if (owner_ && event->isAccepted() && Active && owner_->testAttribute(Qt::WA_WState_Created)) {
      try {
        SaveFormValues();
      } catch (const std::exception& e) {
        reportError(e);
      }
    }
    return true;
  }
  return false;
}

void TFormStorage::reportError(const std::exception& e) const {
  QString text = QString::fromUtf8(e.what());
  if (onError)
    onError(text);
  else
    qWarning("%s", qPrintable(text));
}

}  // namespace lumivex
