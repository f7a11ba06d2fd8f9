// SPDX-License-Identifier: GPL-3.0-or-later
// The media player interface of the desktop (MPRIS) over the session bus:
// org.mpris.MediaPlayer2.solvari, with the root and Player interfaces at
// /org/mpris/MediaPlayer2. The desktop's media controls, the play/pause key
// and a headset's button reach the recitation through it: Play, Pause and
// PlayPause are Start and Stop, Next and Previous step through the phrases,
// Stop is Stop, Raise shows the window. Each command does something only
// while the command it stands for is enabled. PlaybackStatus, the metadata
// (the phrase and its reading) and the Can* properties follow the
// recitation; Update announces what changed with PropertiesChanged.
//
// The name is asked for without waiting: the service is there once the bus
// has answered. Without a bus nothing is registered and nothing fails. When
// another copy of the program holds the name, this one takes
// org.mpris.MediaPlayer2.solvari.instance<pid>.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>

#include "app/recitation_link.h"

class QDBusPendingCallWatcher;

namespace solvari::app {

class CMprisService;

namespace detail {

// org.mpris.MediaPlayer2
class CMprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  CMprisRootAdaptor(QObject* pObject, CMprisService* pService);
  bool CanQuit() const { return false; }
  bool CanRaise() const { return true; }
  bool HasTrackList() const { return false; }
  QString Identity() const { return QStringLiteral("Solvari"); }
  QString DesktopEntry() const { return QStringLiteral("solvari"); }
  QStringList SupportedUriSchemes() const { return {}; }
  QStringList SupportedMimeTypes() const { return {}; }

 public Q_SLOTS:
  void Raise();
  void Quit() {}  // CanQuit is false: the program is closed from its window

 private:
  CMprisService* m_pService;
};

// org.mpris.MediaPlayer2.Player
class CMprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ CanPlay)
  Q_PROPERTY(bool CanPause READ CanPause)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  CMprisPlayerAdaptor(QObject* pObject, CMprisService* pService);
  QString PlaybackStatus() const;
  // The voice plays at its own pace and volume; a client that sets them
  // changes nothing.
  double Rate() const { return 1.0; }
  void SetRate(double) {}
  double Volume() const { return 1.0; }
  void SetVolume(double) {}
  QVariantMap Metadata() const;
  qlonglong Position() const { return 0; }
  bool CanGoNext() const;
  bool CanGoPrevious() const { return CanGoNext(); }
  bool CanPlay() const;
  bool CanPause() const;
  bool CanSeek() const { return false; }
  bool CanControl() const { return true; }

 public Q_SLOTS:
  void Next();
  void Previous();
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong) {}
  void SetPosition(const QDBusObjectPath&, qlonglong) {}
  void OpenUri(const QString&) {}

 Q_SIGNALS:
  void Seeked(qlonglong nPosition);

 private:
  CMprisService* m_pService;
};

}  // namespace detail

class CMprisService {
 public:
  static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.solvari";
  static constexpr const char* kPath = "/org/mpris/MediaPlayer2";
  static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
  static constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

  // How long the bus may take to answer for the name, and how long the
  // name's release at the end may wait for it.
  static constexpr int kAskTimeoutMs = 2000;
  static constexpr int kReleaseWaitMs = 500;

  // pLink must outlive the service.
  CMprisService(const RecitationLink* pLink, const QDBusConnection& bus);
  // Gives the name and the object up.
  ~CMprisService();
  CMprisService(const CMprisService&) = delete;
  CMprisService& operator=(const CMprisService&) = delete;

  bool IsRegistered() const { return !m_strName.isEmpty(); }
  // Whether the bus has yet to answer for the name.
  bool IsAsking() const { return m_pAsking != nullptr; }
  // The bus name taken, empty when none.
  QString ServiceName() const { return m_strName; }
  // Reads the recitation again and sends PropertiesChanged for the Player's
  // properties that changed since the last time.
  void Update();

  // What the properties are made of.
  QString PlaybackStatus() const;
  QVariantMap Metadata() const;
  bool CanStep() const;
  bool CanStart() const;
  bool CanStop() const;
  // The title of a phrase: its number of the 54 and its reading, as
  // "3 / 54 しょう けん ごー おん かい くう".
  static QString PhraseTitle(int nPhrase);
  static QString TrackId(int nPhrase);
  const RecitationLink& Link() const { return *m_pLink; }

 private:
  // The Player's properties that Update watches, as last announced.
  QVariantMap WatchedProperties() const;
  // Asks the bus for a name; bOwnName: the program's own, which falls back
  // on the instance name when another copy holds it.
  void AskForName(const QString& strName, bool bOwnName);
  void OnNameReply(QDBusPendingCallWatcher* pWatcher, const QString& strName, bool bOwnName);
  // Whether the bus gave the name, from its reply to RequestName.
  static bool NameGranted(QDBusPendingCallWatcher* pWatcher);
  void ReleaseName(const QString& strName);

  const RecitationLink* m_pLink;
  QDBusConnection m_bus;
  QObject m_object;  // what is registered at kPath; the adaptors' parent
  bool m_bObjectRegistered = false;
  QString m_strName;
  QVariantMap m_announced;
  std::unique_ptr<QDBusPendingCallWatcher> m_pAsking;
  std::unique_ptr<QDBusPendingCallWatcher> m_pAnswered;  // goes with the next question
};

}  // namespace solvari::app
