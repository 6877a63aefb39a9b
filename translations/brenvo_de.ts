<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AppOptions</name>
    <message>
        <source>Send files straight to people you know.</source>
        <translation>Dateien direkt an Menschen senden, die Sie kennen.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe anzeigen.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Die Version anzeigen.</translation>
    </message>
    <message>
        <source>The support directory (default: $XDG_DATA_HOME/Brenvo).</source>
        <translation>Der Datenordner (Vorgabe: $XDG_DATA_HOME/Brenvo).</translation>
    </message>
    <message>
        <source>Where the identity key is kept: auto, secret-service or file.</source>
        <translation>Wo der Identitätsschlüssel liegt: auto, secret-service oder file.</translation>
    </message>
    <message>
        <source>Log the details of every connection and block.</source>
        <translation>Die Einzelheiten jeder Verbindung und jedes Blocks protokollieren.</translation>
    </message>
    <message>
        <source>Start without a window, with the status icon only.</source>
        <translation>Ohne Fenster starten, nur mit dem Statussymbol.</translation>
    </message>
    <message>
        <source>brenvo: links or card files to open.</source>
        <translation>brenvo:-Links oder Kartendateien zum Öffnen.</translation>
    </message>
    <message>
        <source>--key-store takes auto, secret-service or file, not &quot;%1&quot;
</source>
        <translation>--key-store erwartet auto, secret-service oder file, nicht „%1“
</translation>
    </message>
    <message>
        <source>Reach nobody through Tor while running, whatever the settings say.</source>
        <translation>Während der Ausführung niemanden über Tor erreichen, unabhängig von den Einstellungen.</translation>
    </message>
</context>
<context>
    <name>Autostart</name>
    <message>
        <source>The program&apos;s path cannot be written in a desktop entry.</source>
        <translation>Der Pfad des Programms lässt sich nicht in einen Desktop-Eintrag schreiben.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
</context>
<context>
    <name>BackgroundNotice</name>
    <message>
        <source>Brenvo is still running</source>
        <translation>Brenvo läuft weiter</translation>
    </message>
    <message>
        <source>Brenvo keeps receiving and sending files in the background. Quit it from its icon&apos;s menu or with Ctrl+Q.</source>
        <translation>Brenvo empfängt und sendet im Hintergrund weiter Dateien. Beenden Sie es über das Menü seines Symbols oder mit Strg+Q.</translation>
    </message>
</context>
<context>
    <name>CardFiles</name>
    <message>
        <source>Not a valid user card: %1</source>
        <translation>Keine gültige Benutzerkarte: %1</translation>
    </message>
    <message>
        <source>This is your own card: import it on the other machine instead</source>
        <translation>Das ist Ihre eigene Karte: Importieren Sie sie stattdessen auf dem anderen Rechner</translation>
    </message>
    <message>
        <source>Failed to import file %1.</source>
        <translation>Die Datei %1 konnte nicht importiert werden.</translation>
    </message>
    <message numerus="yes">
        <source>Failed to import %n files.</source>
        <translation>
            <numerusform>%n Datei konnte nicht importiert werden.</numerusform>
            <numerusform>%n Dateien konnten nicht importiert werden.</numerusform>
        </translation>
    </message>
    <message>
        <source>The file could not be written.</source>
        <translation>Die Datei konnte nicht geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>DownloadDialogs</name>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Type one name for the file in the folder shown.</source>
        <translation>Geben Sie einen Namen für die Datei im angezeigten Ordner ein.</translation>
    </message>
    <message>
        <source>Download as:</source>
        <translation>Herunterladen als:</translation>
    </message>
    <message>
        <source>Select the download location:</source>
        <translation>Wählen Sie den Speicherort für Downloads:</translation>
    </message>
</context>
<context>
    <name>FileList</name>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager anzeigen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Hochladen</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Erneut versuchen</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Uploads</source>
        <translation>Uploads</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message numerus="yes">
        <source>%Ln s left</source>
        <translation>
            <numerusform>noch %Ln s</numerusform>
            <numerusform>noch %Ln s</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln min left</source>
        <translation>
            <numerusform>noch %Ln Min.</numerusform>
            <numerusform>noch %Ln Min.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 h %2 min left</source>
        <translation>noch %1 Std. %2 Min.</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Waiting for %1</source>
        <translation>Wartet auf %1</translation>
    </message>
    <message>
        <source>Transferring</source>
        <translation>Wird übertragen</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Received, but not moved into place: %1</source>
        <translation>Empfangen, aber nicht an seinen Platz verschoben: %1</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Withdrawn</source>
        <translation>Zurückgezogen</translation>
    </message>
    <message>
        <source>Withdrawn by %1</source>
        <translation>Von %1 zurückgezogen</translation>
    </message>
    <message>
        <source>Not downloaded</source>
        <translation>Nicht heruntergeladen</translation>
    </message>
    <message numerus="yes">
        <source>%n files</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Folder %1, %2</source>
        <translation>Ordner %1, %2</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 Datei</translation>
    </message>
</context>
<context>
    <name>FileOffer</name>
    <message>
        <source>Failed to share file %1.</source>
        <translation>Die Datei %1 konnte nicht freigegeben werden.</translation>
    </message>
    <message numerus="yes">
        <source>Failed to share %n files.</source>
        <translation>
            <numerusform>%n Datei konnte nicht freigegeben werden.</numerusform>
            <numerusform>%n Dateien konnten nicht freigegeben werden.</numerusform>
        </translation>
    </message>
    <message>
        <source>The folder holds no files.</source>
        <translation>Der Ordner enthält keine Dateien.</translation>
    </message>
    <message>
        <source>Failed to share the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht freigegeben werden.</translation>
    </message>
</context>
<context>
    <name>HttpStatus</name>
    <message>
        <source>no error</source>
        <translation>kein Fehler</translation>
    </message>
    <message>
        <source>no content</source>
        <translation>kein Inhalt</translation>
    </message>
    <message>
        <source>moved permanently</source>
        <translation>dauerhaft verschoben</translation>
    </message>
    <message>
        <source>found</source>
        <translation>gefunden</translation>
    </message>
    <message>
        <source>not modified</source>
        <translation>nicht geändert</translation>
    </message>
    <message>
        <source>temporarily redirected</source>
        <translation>vorübergehend umgeleitet</translation>
    </message>
    <message>
        <source>permanent redirect</source>
        <translation>dauerhafte Umleitung</translation>
    </message>
    <message>
        <source>bad request</source>
        <translation>fehlerhafte Anfrage</translation>
    </message>
    <message>
        <source>unauthorized</source>
        <translation>nicht autorisiert</translation>
    </message>
    <message>
        <source>forbidden</source>
        <translation>verboten</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>nicht gefunden</translation>
    </message>
    <message>
        <source>method not allowed</source>
        <translation>Methode nicht erlaubt</translation>
    </message>
    <message>
        <source>unacceptable</source>
        <translation>nicht annehmbar</translation>
    </message>
    <message>
        <source>request timed out</source>
        <translation>Zeitüberschreitung der Anfrage</translation>
    </message>
    <message>
        <source>no longer exists</source>
        <translation>existiert nicht mehr</translation>
    </message>
    <message>
        <source>too many requests</source>
        <translation>zu viele Anfragen</translation>
    </message>
    <message>
        <source>internal server error</source>
        <translation>interner Serverfehler</translation>
    </message>
    <message>
        <source>unimplemented</source>
        <translation>nicht implementiert</translation>
    </message>
    <message>
        <source>bad gateway</source>
        <translation>fehlerhaftes Gateway</translation>
    </message>
    <message>
        <source>service unavailable</source>
        <translation>Dienst nicht verfügbar</translation>
    </message>
    <message>
        <source>gateway timed out</source>
        <translation>Zeitüberschreitung des Gateways</translation>
    </message>
    <message>
        <source>informational</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>success</source>
        <translation>Erfolg</translation>
    </message>
    <message>
        <source>redirected</source>
        <translation>umgeleitet</translation>
    </message>
    <message>
        <source>client error</source>
        <translation>Client-Fehler</translation>
    </message>
    <message>
        <source>server error</source>
        <translation>Serverfehler</translation>
    </message>
</context>
<context>
    <name>LibraryTexts</name>
    <message>
        <source>No gateway answered</source>
        <translation>Kein Gateway hat geantwortet</translation>
    </message>
    <message>
        <source>The gateway refused to forward port %1: %2</source>
        <translation>Das Gateway hat die Weiterleitung von Port %1 abgelehnt: %2</translation>
    </message>
    <message>
        <source>%1 answered at %2</source>
        <translation>%1 hat unter %2 geantwortet</translation>
    </message>
    <message>
        <source>dns error: %1</source>
        <translation>DNS-Fehler: %1</translation>
    </message>
    <message>
        <source>network error: %1</source>
        <translation>Netzwerkfehler: %1</translation>
    </message>
    <message>
        <source>The partial file %1 is gone</source>
        <translation>Die Teildatei %1 ist verschwunden</translation>
    </message>
    <message>
        <source>The finished download is still at %1: it could not be moved into place</source>
        <translation>Der fertige Download liegt noch unter %1: Er konnte nicht an seinen Platz verschoben werden</translation>
    </message>
    <message>
        <source>%1 is not a local file</source>
        <translation>%1 ist keine lokale Datei</translation>
    </message>
    <message>
        <source>%1 is not a local directory</source>
        <translation>%1 ist kein lokaler Ordner</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot name a file</source>
        <translation>„%1“ kann keine Datei benennen</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>kein freier Name für %1</translation>
    </message>
    <message>
        <source>not a local file: %1</source>
        <translation>keine lokale Datei: %1</translation>
    </message>
    <message>
        <source>not a regular file: %1</source>
        <translation>keine reguläre Datei: %1</translation>
    </message>
    <message>
        <source>no download location for %1</source>
        <translation>kein Speicherort für %1</translation>
    </message>
    <message>
        <source>block %1 is out of range</source>
        <translation>Block %1 liegt außerhalb des Bereichs</translation>
    </message>
    <message>
        <source>block %1 is not part of %2</source>
        <translation>Block %1 gehört nicht zu %2</translation>
    </message>
    <message>
        <source>a block read returned fewer bytes than asked</source>
        <translation>beim Lesen eines Blocks kamen weniger Bytes als angefordert</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>No route to host</source>
        <translation>Keine Route zum Zielrechner</translation>
    </message>
    <message>
        <source>Network is unreachable</source>
        <translation>Netzwerk ist nicht erreichbar</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Zeitüberschreitung der Verbindung</translation>
    </message>
    <message>
        <source>Connection reset by peer</source>
        <translation>Verbindung von der Gegenseite zurückgesetzt</translation>
    </message>
    <message>
        <source>Broken pipe</source>
        <translation>Unterbrochene Verbindung</translation>
    </message>
    <message>
        <source>Address already in use</source>
        <translation>Adresse wird bereits verwendet</translation>
    </message>
    <message>
        <source>Cannot assign requested address</source>
        <translation>Die angeforderte Adresse kann nicht zugewiesen werden</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Keine Berechtigung</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>Vorgang nicht zulässig</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>Datei oder Verzeichnis nicht gefunden</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>Kein Platz mehr auf dem Gerät</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>Plattenkontingent überschritten</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>Schreibgeschütztes Dateisystem</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>Ein-/Ausgabefehler</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>Ist kein Verzeichnis</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>Ist ein Verzeichnis</translation>
    </message>
    <message>
        <source>File exists</source>
        <translation>Die Datei existiert bereits</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Brenvo cannot start</source>
        <translation>Brenvo kann nicht starten</translation>
    </message>
</context>
<context>
    <name>QuitQuestion</name>
    <message>
        <source>1 download is running and will continue at the next start.</source>
        <translation>1 Download läuft und wird beim nächsten Start fortgesetzt.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln downloads are running and will continue at the next start.</source>
        <translation>
            <numerusform>%Ln Download läuft und wird beim nächsten Start fortgesetzt.</numerusform>
            <numerusform>%Ln Downloads laufen und werden beim nächsten Start fortgesetzt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Quit Brenvo?</source>
        <translation>Brenvo beenden?</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>ReasonTexts</name>
    <message>
        <source>trying again now</source>
        <translation>neuer Versuch jetzt</translation>
    </message>
    <message>
        <source>trying again in %1 s</source>
        <translation>neuer Versuch in %1 s</translation>
    </message>
    <message>
        <source>trying again at %1</source>
        <translation>neuer Versuch um %1</translation>
    </message>
    <message>
        <source>%1 is offline or unreachable at %2</source>
        <translation>%1 ist offline oder unter %2 nicht erreichbar</translation>
    </message>
    <message>
        <source>Offline or unreachable</source>
        <translation>Offline oder nicht erreichbar</translation>
    </message>
    <message>
        <source>%1 did not accept the connection: has %1 imported your card?</source>
        <translation>%1 hat die Verbindung nicht angenommen: Hat %1 Ihre Karte importiert?</translation>
    </message>
    <message>
        <source>Did not accept the connection</source>
        <translation>Verbindung nicht angenommen</translation>
    </message>
    <message>
        <source>%1&apos;s card has no address: ask %1 for a new card</source>
        <translation>Die Karte von %1 hat keine Adresse: Bitten Sie %1 um eine neue Karte</translation>
    </message>
    <message>
        <source>No address on the card</source>
        <translation>Keine Adresse auf der Karte</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Port %1 is in use by another program: choose another port in Settings</source>
        <translation>Port %1 wird von einem anderen Programm verwendet: Wählen Sie in den Einstellungen einen anderen Port</translation>
    </message>
    <message>
        <source>Brenvo cannot accept connections on port %1: %2</source>
        <translation>Brenvo kann auf Port %1 keine Verbindungen annehmen: %2</translation>
    </message>
    <message>
        <source>%1 is not reachable directly or through Tor</source>
        <translation>%1 ist weder direkt noch über Tor erreichbar</translation>
    </message>
    <message>
        <source>Not reachable</source>
        <translation>Nicht erreichbar</translation>
    </message>
    <message>
        <source>The connection to %1 was lost</source>
        <translation>Die Verbindung zu %1 wurde unterbrochen</translation>
    </message>
    <message>
        <source>Connection lost</source>
        <translation>Verbindung unterbrochen</translation>
    </message>
</context>
<context>
    <name>ShareTargets</name>
    <message>
        <source>The mail composer (xdg-email) could not be started.</source>
        <translation>Das E-Mail-Programm (xdg-email) konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>KDE Connect did not answer.</source>
        <translation>KDE Connect hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>KDE Connect could not list the devices.</source>
        <translation>KDE Connect konnte die Geräte nicht auflisten.</translation>
    </message>
    <message>
        <source>KDE Connect (kdeconnect-cli) could not be started.</source>
        <translation>KDE Connect (kdeconnect-cli) konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>No device is available. Pair one with KDE Connect first.</source>
        <translation>Kein Gerät verfügbar. Koppeln Sie zuerst eines mit KDE Connect.</translation>
    </message>
    <message>
        <source>Send to Device</source>
        <translation>An Gerät senden</translation>
    </message>
    <message>
        <source>Device:</source>
        <translation>Gerät:</translation>
    </message>
    <message>
        <source>Send</source>
        <comment>sends the card to the device</comment>
        <translation>Senden</translation>
    </message>
</context>
<context>
    <name>StatusIcon</name>
    <message>
        <source>less than a minute left</source>
        <translation>noch weniger als eine Minute</translation>
    </message>
    <message numerus="yes">
        <source>%Ln min left</source>
        <translation>
            <numerusform>noch %Ln Min.</numerusform>
            <numerusform>noch %Ln Min.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 h %2 min left</source>
        <translation>noch %1 Std. %2 Min.</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 Datei</translation>
    </message>
    <message numerus="yes">
        <source>%Ln files</source>
        <translation>
            <numerusform>%Ln Datei</numerusform>
            <numerusform>%Ln Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>%1, %2 %</source>
        <comment>the files, their percentage done</comment>
        <translation>%1, %2 %</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <comment>the summary, the time left</comment>
        <translation>%1 — %2</translation>
    </message>
</context>
<context>
    <name>brenvo::AppDelegate</name>
    <message>
        <source>About Brenvo</source>
        <translation>Über Brenvo</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Brenvo %1&lt;/h3&gt;&lt;p&gt;Send files straight from one machine to another, between people who know each other, with no server in between.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Brenvo %1&lt;/h3&gt;&lt;p&gt;Dateien direkt von einem Rechner zum anderen senden, zwischen Menschen, die sich kennen, ohne Server dazwischen.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Are you sure you want to uninstall Brenvo?</source>
        <translation>Möchten Sie Brenvo wirklich deinstallieren?</translation>
    </message>
    <message>
        <source>This operation cannot be undone.</source>
        <translation>Dieser Vorgang kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Brenvo removes your identity key, its settings and the files it made in the folder %1 (listed in the details); the folder itself only when nothing else is left in it.</source>
        <translation>Brenvo entfernt Ihren Identitätsschlüssel, seine Einstellungen und die Dateien, die es im Ordner %1 angelegt hat (in den Details aufgeführt); den Ordner selbst nur, wenn nichts anderes mehr darin liegt.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>Deinstallieren</translation>
    </message>
    <message>
        <source>Brenvo</source>
        <translation>Brenvo</translation>
    </message>
    <message>
        <source>Brenvo could not move the program to the Trash.</source>
        <translation>Brenvo konnte das Programm nicht in den Papierkorb verschieben.</translation>
    </message>
    <message>
        <source>Your data has been removed. %1 stays.</source>
        <translation>Ihre Daten wurden entfernt. %1 bleibt erhalten.</translation>
    </message>
    <message>
        <source>Your data has been removed. Remove %1 yourself (%2).</source>
        <translation>Ihre Daten wurden entfernt. Entfernen Sie %1 selbst (%2).</translation>
    </message>
    <message>
        <source>The program was installed with a package of the system: remove the package “brenvo” with your package manager, for example with the command: sudo apt remove brenvo</source>
        <translation>Das Programm wurde mit einem Paket des Systems installiert: Entfernen Sie das Paket „brenvo“ mit Ihrer Paketverwaltung, zum Beispiel mit dem Befehl: sudo apt remove brenvo</translation>
    </message>
    <message>
        <source>Your address changed: the card others hold is now out of date. Share it again with Share My Card…</source>
        <translation>Ihre Adresse hat sich geändert: Die Karte, die andere von Ihnen haben, ist nicht mehr aktuell. Geben Sie sie mit „Meine Karte weitergeben …“ erneut weiter.</translation>
    </message>
    <message>
        <source>%1 offered more files than Brenvo keeps at once: %2 were not added</source>
        <translation>%1 hat mehr Dateien angeboten, als Brenvo auf einmal behält: %2 wurden nicht hinzugefügt</translation>
    </message>
    <message>
        <source>Someone</source>
        <translation>Jemand</translation>
    </message>
    <message>
        <source>Someone who is not among your people tried to connect (key %1)</source>
        <translation>Jemand, der nicht zu Ihren Kontakten gehört, wollte sich verbinden (Schlüssel %1)</translation>
    </message>
</context>
<context>
    <name>brenvo::AppNotifications</name>
    <message>
        <source>File Downloaded</source>
        <translation>Datei heruntergeladen</translation>
    </message>
    <message>
        <source>%1 has finished downloading.</source>
        <translation>%1 wurde fertig heruntergeladen.</translation>
    </message>
    <message>
        <source>Files Downloaded</source>
        <translation>Dateien heruntergeladen</translation>
    </message>
    <message numerus="yes">
        <source>%n files downloaded.</source>
        <translation>
            <numerusform>%n Datei heruntergeladen.</numerusform>
            <numerusform>%n Dateien heruntergeladen.</numerusform>
        </translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>New File</source>
        <translation>Neue Datei</translation>
    </message>
    <message>
        <source>%1 shared %2 with you.</source>
        <translation>%1 hat %2 für Sie freigegeben.</translation>
    </message>
    <message>
        <source>New Files</source>
        <translation>Neue Dateien</translation>
    </message>
    <message numerus="yes">
        <source>%1 shared %Ln files with you.</source>
        <translation>
            <numerusform>%1 hat %Ln Datei für Sie freigegeben.</numerusform>
            <numerusform>%1 hat %Ln Dateien für Sie freigegeben.</numerusform>
        </translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message numerus="yes">
        <source>%1 shared the folder %2 (%Ln files, %3) with you</source>
        <translation>
            <numerusform>%1 hat den Ordner %2 (%Ln Datei, %3) für Sie freigegeben</numerusform>
            <numerusform>%1 hat den Ordner %2 (%Ln Dateien, %3) für Sie freigegeben</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 shared the folder %2 (1 file, %3) with you</source>
        <translation>%1 hat den Ordner %2 (1 Datei, %3) für Sie freigegeben</translation>
    </message>
</context>
<context>
    <name>brenvo::Background</name>
    <message>
        <source>Show Brenvo</source>
        <translation>Brenvo anzeigen</translation>
    </message>
    <message>
        <source>Someone</source>
        <translation>Jemand</translation>
    </message>
    <message>
        <source>%1 — 1 new file</source>
        <translation>%1 — 1 neue Datei</translation>
    </message>
    <message numerus="yes">
        <source>%1 — %Ln new files</source>
        <translation>
            <numerusform>%1 — %Ln neue Datei</numerusform>
            <numerusform>%1 — %Ln neue Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Pause all</source>
        <translation>Alle anhalten</translation>
    </message>
    <message>
        <source>Resume all</source>
        <translation>Alle fortsetzen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>brenvo::CardActions</name>
    <message>
        <source>Brenvo cards (*.bcard)</source>
        <translation>Brenvo-Karten (*.bcard)</translation>
    </message>
    <message>
        <source>Share Card</source>
        <translation>Karte weitergeben</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Export As:</source>
        <translation>Exportieren als:</translation>
    </message>
    <message>
        <source>Failed to export file.</source>
        <translation>Die Datei konnte nicht exportiert werden.</translation>
    </message>
    <message>
        <source>Import Cards</source>
        <translation>Karten importieren</translation>
    </message>
    <message>
        <source>Import</source>
        <comment>accepts the file dialog</comment>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Import User</source>
        <translation>Benutzer importieren</translation>
    </message>
    <message>
        <source>Import Users</source>
        <translation>Benutzer importieren</translation>
    </message>
    <message>
        <source>My Card</source>
        <translation>Meine Karte</translation>
    </message>
    <message>
        <source>Edit User</source>
        <translation>Benutzer bearbeiten</translation>
    </message>
    <message>
        <source>Remove user %1?</source>
        <translation>Benutzer %1 entfernen?</translation>
    </message>
    <message>
        <source>You will not be able to share files with %1 anymore.</source>
        <translation>Sie werden keine Dateien mehr mit %1 austauschen können.</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Select the people to share with</source>
        <translation>Wählen Sie die Empfänger aus</translation>
    </message>
    <message>
        <source>Your card has no address</source>
        <translation>Ihre Karte hat keine Adresse</translation>
    </message>
    <message>
        <source>Others can&apos;t connect to you with this card until it has an address. Add one now?</source>
        <translation>Andere können sich mit dieser Karte erst mit Ihnen verbinden, wenn sie eine Adresse hat. Jetzt eine hinzufügen?</translation>
    </message>
    <message>
        <source>Add Address…</source>
        <translation>Adresse hinzufügen …</translation>
    </message>
    <message>
        <source>Share Anyway</source>
        <translation>Trotzdem weitergeben</translation>
    </message>
    <message>
        <source>Brenvo</source>
        <translation>Brenvo</translation>
    </message>
</context>
<context>
    <name>brenvo::FileListView</name>
    <message>
        <source>Share Files</source>
        <translation>Dateien freigeben</translation>
    </message>
    <message>
        <source>No shared files. Click the + button below to share files.</source>
        <translation>Keine freigegebenen Dateien. Klicken Sie unten auf +, um Dateien freizugeben.</translation>
    </message>
    <message>
        <source>Share files…</source>
        <translation>Dateien freigeben …</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove the selected files</source>
        <translation>Die ausgewählten Dateien entfernen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Download All</source>
        <translation>Alle herunterladen</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>Download every paused file of this person (%1)</source>
        <translation>Alle angehaltenen Dateien dieser Person herunterladen (%1)</translation>
    </message>
    <message>
        <source>Context Menu</source>
        <translation>Kontextmenü</translation>
    </message>
    <message>
        <source>Share Folder</source>
        <translation>Ordner freigeben</translation>
    </message>
    <message>
        <source>Share a folder…</source>
        <translation>Einen Ordner freigeben …</translation>
    </message>
</context>
<context>
    <name>brenvo::InfoBar</name>
    <message>
        <source>Problems</source>
        <translation>Probleme</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Import Card…</source>
        <translation>Karte importieren…</translation>
    </message>
</context>
<context>
    <name>brenvo::MainWindow</name>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>No user selected.</source>
        <translation>Kein Benutzer ausgewählt.</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;New Window</source>
        <translation>&amp;Neues Fenster</translation>
    </message>
    <message>
        <source>&amp;Share My Card…</source>
        <translation>Meine Karte &amp;weitergeben …</translation>
    </message>
    <message>
        <source>&amp;Import Cards…</source>
        <translation>Karten &amp;importieren …</translation>
    </message>
    <message>
        <source>S&amp;ettings…</source>
        <translation>&amp;Einstellungen …</translation>
    </message>
    <message>
        <source>&amp;Uninstall…</source>
        <translation>&amp;Deinstallieren …</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Show &amp;Sidebar</source>
        <translation>&amp;Seitenleiste anzeigen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About Brenvo</source>
        <translation>&amp;Über Brenvo</translation>
    </message>
    <message>
        <source>&amp;Check for Updates…</source>
        <translation>Nach &amp;Aktualisierungen suchen …</translation>
    </message>
</context>
<context>
    <name>brenvo::SettingsView</name>
    <message>
        <source>Select</source>
        <comment>accepts the chosen folder</comment>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Check for updates automatically</source>
        <translation>Automatisch nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>Keep running when the window is closed</source>
        <translation>Weiterlaufen, wenn das Fenster geschlossen wird</translation>
    </message>
    <message>
        <source>Start Brenvo when you log in</source>
        <translation>Brenvo bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Listen for incoming connections</source>
        <translation>Auf eingehende Verbindungen warten</translation>
    </message>
    <message>
        <source>Ask router to forward connections</source>
        <translation>Router um Weiterleitung der Verbindungen bitten</translation>
    </message>
    <message>
        <source>Brenvo will ask your router to forward connections received on the listening port to this machine.</source>
        <translation>Brenvo bittet Ihren Router, Verbindungen, die am Empfangsport ankommen, an diesen Rechner weiterzuleiten.</translation>
    </message>
    <message>
        <source>Download location:</source>
        <translation>Speicherort für Downloads:</translation>
    </message>
    <message>
        <source>Brenvo could not change how it starts</source>
        <translation>Brenvo konnte seinen Start nicht ändern</translation>
    </message>
    <message>
        <source>Brenvo could not arrange to start when you log in.</source>
        <translation>Brenvo konnte den Start bei der Anmeldung nicht einrichten.</translation>
    </message>
    <message>
        <source>Brenvo could not stop starting when you log in.</source>
        <translation>Brenvo konnte den Start bei der Anmeldung nicht abschalten.</translation>
    </message>
    <message>
        <source>Ask for each download</source>
        <translation>Bei jedem Download fragen</translation>
    </message>
    <message>
        <source>Other…</source>
        <translation>Andere …</translation>
    </message>
    <message>
        <source>How others reach you</source>
        <translation>Wie andere Sie erreichen</translation>
    </message>
    <message>
        <source>Listening port</source>
        <translation>Empfangsport</translation>
    </message>
    <message>
        <source>Connect automatically</source>
        <translation>Automatisch verbinden</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Router:</source>
        <translation>Router:</translation>
    </message>
    <message>
        <source>Local network:</source>
        <translation>Lokales Netzwerk:</translation>
    </message>
    <message>
        <source>Router</source>
        <translation>Router</translation>
    </message>
    <message>
        <source>Local network</source>
        <translation>Lokales Netzwerk</translation>
    </message>
    <message>
        <source>Connects to people when there are files to send or receive, and tries again after a failure.</source>
        <translation>Verbindet sich mit Personen, wenn es Dateien zu senden oder zu empfangen gibt, und versucht es nach einem Fehler erneut.</translation>
    </message>
    <message>
        <source>Not listening</source>
        <translation>Kein Empfang</translation>
    </message>
    <message>
        <source>Listening on port %1</source>
        <translation>Empfang auf Port %1</translation>
    </message>
    <message>
        <source>Not listening: your card has no port</source>
        <translation>Kein Empfang: Ihre Karte hat keinen Port</translation>
    </message>
    <message>
        <source>Port %1 is in use by another program</source>
        <translation>Port %1 wird von einem anderen Programm verwendet</translation>
    </message>
    <message>
        <source>Not listening: %1</source>
        <translation>Kein Empfang: %1</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>unbekannter Fehler</translation>
    </message>
    <message>
        <source>Not asked to forward connections</source>
        <translation>Keine Weiterleitung angefragt</translation>
    </message>
    <message>
        <source>Asking the router…</source>
        <translation>Router wird gefragt …</translation>
    </message>
    <message>
        <source>Forwarding port %1 to this machine</source>
        <translation>Port %1 wird an diesen Rechner weitergeleitet</translation>
    </message>
    <message>
        <source>Forwarding port %1 to this machine; your address on the internet is %2</source>
        <translation>Port %1 wird an diesen Rechner weitergeleitet; Ihre Adresse im Internet ist %2</translation>
    </message>
    <message>
        <source>No forwarding: no router answered</source>
        <translation>Keine Weiterleitung: Kein Router hat geantwortet</translation>
    </message>
    <message>
        <source>No forwarding: %1</source>
        <translation>Keine Weiterleitung: %1</translation>
    </message>
    <message>
        <source>Others on your network can find you</source>
        <translation>Andere in Ihrem Netzwerk können Sie finden</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>No mDNS responder (avahi-daemon) is running; others on your network can&apos;t find you automatically.</source>
        <translation>Kein mDNS-Dienst (avahi-daemon) läuft; andere in Ihrem Netzwerk können Sie nicht automatisch finden.</translation>
    </message>
    <message>
        <source>Others connect to</source>
        <translation>Andere verbinden sich mit</translation>
    </message>
    <message>
        <source>The card others hold is now out of date.</source>
        <translation>Die Karte, die andere von Ihnen haben, ist nicht mehr aktuell.</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Meine Karte weitergeben …</translation>
    </message>
    <message>
        <source>Others connect to:</source>
        <translation>Andere verbinden sich mit:</translation>
    </message>
    <message>
        <source>Your card has no address: others can&apos;t connect to you with it</source>
        <translation>Ihre Karte hat keine Adresse: Andere können sich damit nicht mit Ihnen verbinden</translation>
    </message>
    <message>
        <source>%1 (proposed: confirm it with Share My Card…)</source>
        <translation>%1 (Vorschlag: bestätigen Sie ihn mit „Meine Karte weitergeben …“)</translation>
    </message>
    <message>
        <source>Reach people over the internet through Tor</source>
        <translation>Personen im Internet über Tor erreichen</translation>
    </message>
    <message>
        <source>Through Tor:</source>
        <translation>Über Tor:</translation>
    </message>
    <message>
        <source>Through Tor</source>
        <translation>Über Tor</translation>
    </message>
    <message>
        <source>People who have your card reach you through the Tor network wherever they are, and only they can: no router settings, no server in between.</source>
        <translation>Wer Ihre Karte hat, erreicht Sie über das Tor-Netzwerk, wo immer er ist, und nur diese Personen: keine Router-Einstellungen, kein Server dazwischen.</translation>
    </message>
    <message>
        <source>tor is not installed</source>
        <translation>tor ist nicht installiert</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>ready</source>
        <translation>bereit</translation>
    </message>
    <message>
        <source>connecting, %1 %</source>
        <translation>verbindet, %1 %</translation>
    </message>
    <message>
        <source>not available</source>
        <translation>nicht verfügbar</translation>
    </message>
    <message>
        <source>not available: %1</source>
        <translation>nicht verfügbar: %1</translation>
    </message>
    <message>
        <source>Use a direct connection when possible</source>
        <translation>Wenn möglich direkt verbinden</translation>
    </message>
    <message>
        <source>Tells the people you reach through Tor your addresses, so that files can go straight between your machines where the networks allow it.</source>
        <translation>Teilt den Personen, die Sie über Tor erreichen, Ihre Adressen mit, damit Dateien direkt zwischen Ihren Rechnern fließen können, wo die Netze es erlauben.</translation>
    </message>
</context>
<context>
    <name>brenvo::ShareView</name>
    <message>
        <source>Share</source>
        <translation>Freigeben</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>Empfänger</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarDelegate</name>
    <message>
        <source>Share My Card</source>
        <translation>Meine Karte weitergeben</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarModel</name>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>Wird verbunden …</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>%1, 1 new file</source>
        <translation>%1, 1 neue Datei</translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln new files</source>
        <translation>
            <numerusform>%1, %Ln neue Datei</numerusform>
            <numerusform>%1, %Ln neue Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Me</source>
        <translation>Ich</translation>
    </message>
    <message>
        <source>%1 (me)</source>
        <translation>%1 (ich)</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Edit My Card</source>
        <translation>Meine Karte bearbeiten</translation>
    </message>
    <message>
        <source>Edit %1</source>
        <translation>%1 bearbeiten</translation>
    </message>
    <message>
        <source>%1. %2</source>
        <translation>%1. %2</translation>
    </message>
    <message>
        <source>Connected through Tor</source>
        <translation>Über Tor verbunden</translation>
    </message>
    <message>
        <source>On your network</source>
        <translation>In Ihrem Netzwerk</translation>
    </message>
    <message>
        <source>Connected through Tor, no direct path</source>
        <translation>Über Tor verbunden, kein direkter Weg</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarView</name>
    <message>
        <source>People</source>
        <translation>Personen</translation>
    </message>
    <message>
        <source>Edit…</source>
        <translation>Bearbeiten …</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Meine Karte weitergeben …</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Share Files…</source>
        <translation>Dateien freigeben …</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Share Folder…</source>
        <translation>Ordner freigeben …</translation>
    </message>
</context>
<context>
    <name>brenvo::UpdaterController</name>
    <message>
        <source>The address of the update server is not an https:// address.</source>
        <translation>Die Adresse des Aktualisierungsservers ist keine https://-Adresse.</translation>
    </message>
    <message>
        <source>No trusted root certificates were found in %1.</source>
        <translation>In %1 wurden keine vertrauenswürdigen Stammzertifikate gefunden.</translation>
    </message>
    <message>
        <source>Checking for Updates…</source>
        <translation>Suche nach Aktualisierungen …</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>You are up to date.</source>
        <translation>Brenvo ist auf dem neuesten Stand.</translation>
    </message>
    <message>
        <source>You are already using the latest version.</source>
        <translation>Sie verwenden bereits die neueste Version.</translation>
    </message>
    <message>
        <source>New version available.</source>
        <translation>Neue Version verfügbar.</translation>
    </message>
    <message>
        <source>Version %1 is available, you are running version %2. Would you like to download the update?</source>
        <translation>Version %1 ist verfügbar, Sie verwenden Version %2. Möchten Sie die Aktualisierung herunterladen?</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>The list of updates could not be read (%1).</source>
        <translation>Die Liste der Aktualisierungen konnte nicht gelesen werden (%1).</translation>
    </message>
    <message>
        <source>Could not check for updates.</source>
        <translation>Es konnte nicht nach Aktualisierungen gesucht werden.</translation>
    </message>
</context>
<context>
    <name>brenvo::UserDetailsView</name>
    <message>
        <source>Share your card with other users in order to connect with them. They need to share their card with you too.</source>
        <translation>Geben Sie Ihre Karte an andere Benutzer weiter, um sich mit ihnen zu verbinden. Auch sie müssen Ihnen ihre Karte geben.</translation>
    </message>
    <message>
        <source>You can verify and edit information before importing new users.</source>
        <translation>Sie können die Angaben prüfen und bearbeiten, bevor Sie neue Benutzer importieren.</translation>
    </message>
    <message>
        <source>Was: none</source>
        <translation>Bisher: keine</translation>
    </message>
    <message>
        <source>Was: %1</source>
        <translation>Bisher: %1</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Fingerabdruck</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Adresse:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Fingerprint:</source>
        <translation>Fingerabdruck:</translation>
    </message>
    <message>
        <source>Previous User</source>
        <translation>Vorheriger Benutzer</translation>
    </message>
    <message>
        <source>Next User</source>
        <translation>Nächster Benutzer</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Update</source>
        <comment>saves the edited card</comment>
        <translation>Aktualisieren</translation>
    </message>
    <message numerus="yes">
        <source>Import %n users</source>
        <translation>
            <numerusform>%n Benutzer importieren</numerusform>
            <numerusform>%n Benutzer importieren</numerusform>
        </translation>
    </message>
    <message>
        <source>Import</source>
        <comment>imports the shown user</comment>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Weitergeben</translation>
    </message>
    <message>
        <source>Email…</source>
        <translation>E-Mail …</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Send to Device…</source>
        <translation>An Gerät senden …</translation>
    </message>
    <message>
        <source>Export File…</source>
        <translation>Datei exportieren …</translation>
    </message>
    <message>
        <source>%L1 of %L2</source>
        <comment>the user shown, of those imported</comment>
        <translation>%L1 von %L2</translation>
    </message>
    <message>
        <source>You already have this user as “%1”: importing updates it.</source>
        <translation>Sie haben diesen Benutzer bereits als „%1“: Der Import aktualisiert ihn.</translation>
    </message>
    <message>
        <source>None: others can&apos;t connect to you</source>
        <translation>Keine: Andere können sich nicht mit Ihnen verbinden</translation>
    </message>
    <message>
        <source>This machine can be reached at:</source>
        <translation>Dieser Rechner ist erreichbar unter:</translation>
    </message>
    <message>
        <source>Use address %1</source>
        <translation>Adresse %1 verwenden</translation>
    </message>
</context>
<context>
    <name>brenvo::WelcomeView</name>
    <message>
        <source>Welcome to Brenvo</source>
        <translation>Willkommen bei Brenvo</translation>
    </message>
    <message>
        <source>You do not have any person to share with yet. Share your user card and import it on another machine. Likewise, import other people&apos;s cards onto this machine.</source>
        <translation>Sie haben noch niemanden, mit dem Sie Dateien austauschen können. Geben Sie Ihre Benutzerkarte weiter und importieren Sie sie auf einem anderen Rechner. Importieren Sie ebenso die Karten anderer Personen auf diesem Rechner.</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Meine Karte weitergeben …</translation>
    </message>
    <message>
        <source>Import Cards…</source>
        <translation>Karten importieren …</translation>
    </message>
</context>
</TS>
