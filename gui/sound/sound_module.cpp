// tarvex-sound.so: plays a WAV file asynchronously with Qt Multimedia. Loaded by the program by
// path; where it or an audio device is missing, the program stays silent.

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

extern "C" __attribute__((visibility("default"))) void TarvexPlaySound(const char* path) {
  if (path == nullptr || QCoreApplication::instance() == nullptr) return;
  auto* effect = new QSoundEffect(QCoreApplication::instance());
  QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
    if (!effect->isPlaying()) effect->deleteLater();
  });
  QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
    if (effect->status() == QSoundEffect::Error) effect->deleteLater();
  });
  effect->setSource(QUrl::fromLocalFile(QString::fromUtf8(path)));
  effect->play();
}
