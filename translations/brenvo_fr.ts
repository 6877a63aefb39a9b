<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>AppOptions</name>
    <message>
        <source>Send files straight to people you know.</source>
        <translation>Envoyez des fichiers directement aux personnes que vous connaissez.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Afficher cette aide.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Afficher la version.</translation>
    </message>
    <message>
        <source>The support directory (default: $XDG_DATA_HOME/Brenvo).</source>
        <translation>Le dossier de données (par défaut&#xa0;: $XDG_DATA_HOME/Brenvo).</translation>
    </message>
    <message>
        <source>Where the identity key is kept: auto, secret-service or file.</source>
        <translation>Où la clé d’identité est conservée&#xa0;: auto, secret-service ou file.</translation>
    </message>
    <message>
        <source>Log the details of every connection and block.</source>
        <translation>Journaliser le détail de chaque connexion et de chaque bloc.</translation>
    </message>
    <message>
        <source>Start without a window, with the status icon only.</source>
        <translation>Démarrer sans fenêtre, avec la seule icône d’état.</translation>
    </message>
    <message>
        <source>brenvo: links or card files to open.</source>
        <translation>Liens brenvo: ou fichiers de carte à ouvrir.</translation>
    </message>
    <message>
        <source>--key-store takes auto, secret-service or file, not &quot;%1&quot;
</source>
        <translation>--key-store accepte auto, secret-service ou file, pas « %1 »
</translation>
    </message>
    <message>
        <source>Reach nobody through Tor while running, whatever the settings say.</source>
        <translation>Ne joindre personne par Tor pendant l’exécution, quels que soient les réglages.</translation>
    </message>
</context>
<context>
    <name>Autostart</name>
    <message>
        <source>The program&apos;s path cannot be written in a desktop entry.</source>
        <translation>Le chemin du programme ne peut pas être écrit dans une entrée de bureau.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Impossible de créer le dossier %1.</translation>
    </message>
</context>
<context>
    <name>BackgroundNotice</name>
    <message>
        <source>Brenvo is still running</source>
        <translation>Brenvo est toujours en cours d’exécution</translation>
    </message>
    <message>
        <source>Brenvo keeps receiving and sending files in the background. Quit it from its icon&apos;s menu or with Ctrl+Q.</source>
        <translation>Brenvo continue de recevoir et d’envoyer des fichiers en arrière-plan. Quittez-le depuis le menu de son icône ou avec Ctrl+Q.</translation>
    </message>
</context>
<context>
    <name>CardFiles</name>
    <message>
        <source>Not a valid user card: %1</source>
        <translation>Carte d’utilisateur non valide&#xa0;: %1</translation>
    </message>
    <message>
        <source>This is your own card: import it on the other machine instead</source>
        <translation>C’est votre propre carte&#xa0;: importez-la plutôt sur l’autre machine</translation>
    </message>
    <message>
        <source>Failed to import file %1.</source>
        <translation>Échec de l’importation du fichier %1.</translation>
    </message>
    <message numerus="yes">
        <source>Failed to import %n files.</source>
        <translation>
            <numerusform>Échec de l’importation de %n fichier.</numerusform>
            <numerusform>Échec de l’importation de %n fichiers.</numerusform>
        </translation>
    </message>
    <message>
        <source>The file could not be written.</source>
        <translation>Le fichier n’a pas pu être écrit.</translation>
    </message>
</context>
<context>
    <name>DownloadDialogs</name>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>Type one name for the file in the folder shown.</source>
        <translation>Saisissez un nom pour le fichier dans le dossier affiché.</translation>
    </message>
    <message>
        <source>Download as:</source>
        <translation>Télécharger sous&#xa0;:</translation>
    </message>
    <message>
        <source>Select the download location:</source>
        <translation>Choisissez l’emplacement des téléchargements&#xa0;:</translation>
    </message>
</context>
<context>
    <name>FileList</name>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Afficher dans le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Suspendre</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Envoyer</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Réessayer</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Terminé</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Téléchargements</translation>
    </message>
    <message>
        <source>Uploads</source>
        <translation>Envois</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 sur %2</translation>
    </message>
    <message numerus="yes">
        <source>%Ln s left</source>
        <translation>
            <numerusform>%Ln s restante</numerusform>
            <numerusform>%Ln s restantes</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln min left</source>
        <translation>
            <numerusform>%Ln min restante</numerusform>
            <numerusform>%Ln min restantes</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 h %2 min left</source>
        <translation>%1 h %2 min restantes</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Échec</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>En pause</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>En attente</translation>
    </message>
    <message>
        <source>Waiting for %1</source>
        <translation>En attente de %1</translation>
    </message>
    <message>
        <source>Transferring</source>
        <translation>Transfert en cours</translation>
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
        <translation>Reçu, mais pas déplacé à son emplacement&#xa0;: %1</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Retirer</translation>
    </message>
    <message>
        <source>Withdrawn</source>
        <translation>Retiré</translation>
    </message>
    <message>
        <source>Withdrawn by %1</source>
        <translation>Retiré par %1</translation>
    </message>
    <message>
        <source>Not downloaded</source>
        <translation>Non téléchargé</translation>
    </message>
    <message numerus="yes">
        <source>%n files</source>
        <translation>
            <numerusform>%n fichier</numerusform>
            <numerusform>%n fichiers</numerusform>
        </translation>
    </message>
    <message>
        <source>Folder %1, %2</source>
        <translation>Dossier %1, %2</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 fichier</translation>
    </message>
</context>
<context>
    <name>FileOffer</name>
    <message>
        <source>Failed to share file %1.</source>
        <translation>Échec du partage du fichier %1.</translation>
    </message>
    <message numerus="yes">
        <source>Failed to share %n files.</source>
        <translation>
            <numerusform>Échec du partage de %n fichier.</numerusform>
            <numerusform>Échec du partage de %n fichiers.</numerusform>
        </translation>
    </message>
    <message>
        <source>The folder holds no files.</source>
        <translation>Le dossier ne contient aucun fichier.</translation>
    </message>
    <message>
        <source>Failed to share the folder %1.</source>
        <translation>Échec du partage du dossier %1.</translation>
    </message>
</context>
<context>
    <name>HttpStatus</name>
    <message>
        <source>no error</source>
        <translation>aucune erreur</translation>
    </message>
    <message>
        <source>no content</source>
        <translation>aucun contenu</translation>
    </message>
    <message>
        <source>moved permanently</source>
        <translation>déplacé définitivement</translation>
    </message>
    <message>
        <source>found</source>
        <translation>trouvé</translation>
    </message>
    <message>
        <source>not modified</source>
        <translation>non modifié</translation>
    </message>
    <message>
        <source>temporarily redirected</source>
        <translation>redirigé temporairement</translation>
    </message>
    <message>
        <source>permanent redirect</source>
        <translation>redirection permanente</translation>
    </message>
    <message>
        <source>bad request</source>
        <translation>requête incorrecte</translation>
    </message>
    <message>
        <source>unauthorized</source>
        <translation>non autorisé</translation>
    </message>
    <message>
        <source>forbidden</source>
        <translation>interdit</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>introuvable</translation>
    </message>
    <message>
        <source>method not allowed</source>
        <translation>méthode non autorisée</translation>
    </message>
    <message>
        <source>unacceptable</source>
        <translation>inacceptable</translation>
    </message>
    <message>
        <source>request timed out</source>
        <translation>délai de la requête dépassé</translation>
    </message>
    <message>
        <source>no longer exists</source>
        <translation>n’existe plus</translation>
    </message>
    <message>
        <source>too many requests</source>
        <translation>trop de requêtes</translation>
    </message>
    <message>
        <source>internal server error</source>
        <translation>erreur interne du serveur</translation>
    </message>
    <message>
        <source>unimplemented</source>
        <translation>non implémenté</translation>
    </message>
    <message>
        <source>bad gateway</source>
        <translation>passerelle incorrecte</translation>
    </message>
    <message>
        <source>service unavailable</source>
        <translation>service indisponible</translation>
    </message>
    <message>
        <source>gateway timed out</source>
        <translation>délai de la passerelle dépassé</translation>
    </message>
    <message>
        <source>informational</source>
        <translation>information</translation>
    </message>
    <message>
        <source>success</source>
        <translation>succès</translation>
    </message>
    <message>
        <source>redirected</source>
        <translation>redirigé</translation>
    </message>
    <message>
        <source>client error</source>
        <translation>erreur du client</translation>
    </message>
    <message>
        <source>server error</source>
        <translation>erreur du serveur</translation>
    </message>
</context>
<context>
    <name>LibraryTexts</name>
    <message>
        <source>No gateway answered</source>
        <translation>Aucune passerelle n’a répondu</translation>
    </message>
    <message>
        <source>The gateway refused to forward port %1: %2</source>
        <translation>La passerelle a refusé de rediriger le port %1 : %2</translation>
    </message>
    <message>
        <source>%1 answered at %2</source>
        <translation>%1 a répondu à l’adresse %2</translation>
    </message>
    <message>
        <source>dns error: %1</source>
        <translation>erreur DNS : %1</translation>
    </message>
    <message>
        <source>network error: %1</source>
        <translation>erreur réseau : %1</translation>
    </message>
    <message>
        <source>The partial file %1 is gone</source>
        <translation>Le fichier partiel %1 a disparu</translation>
    </message>
    <message>
        <source>The finished download is still at %1: it could not be moved into place</source>
        <translation>Le téléchargement terminé est encore dans %1 : il n’a pas pu être mis à sa place</translation>
    </message>
    <message>
        <source>%1 is not a local file</source>
        <translation>%1 n’est pas un fichier local</translation>
    </message>
    <message>
        <source>%1 is not a local directory</source>
        <translation>%1 n’est pas un dossier local</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot name a file</source>
        <translation>« %1 » ne peut pas nommer un fichier</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>aucun nom libre pour %1</translation>
    </message>
    <message>
        <source>not a local file: %1</source>
        <translation>pas un fichier local : %1</translation>
    </message>
    <message>
        <source>not a regular file: %1</source>
        <translation>pas un fichier ordinaire : %1</translation>
    </message>
    <message>
        <source>no download location for %1</source>
        <translation>aucun emplacement de téléchargement pour %1</translation>
    </message>
    <message>
        <source>block %1 is out of range</source>
        <translation>le bloc %1 est hors limites</translation>
    </message>
    <message>
        <source>block %1 is not part of %2</source>
        <translation>le bloc %1 ne fait pas partie de %2</translation>
    </message>
    <message>
        <source>a block read returned fewer bytes than asked</source>
        <translation>la lecture d’un bloc a rendu moins d’octets que demandé</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>Connexion refusée</translation>
    </message>
    <message>
        <source>No route to host</source>
        <translation>Aucune route vers l’hôte</translation>
    </message>
    <message>
        <source>Network is unreachable</source>
        <translation>Réseau inaccessible</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Délai de connexion dépassé</translation>
    </message>
    <message>
        <source>Connection reset by peer</source>
        <translation>Connexion réinitialisée par le correspondant</translation>
    </message>
    <message>
        <source>Broken pipe</source>
        <translation>Tube brisé</translation>
    </message>
    <message>
        <source>Address already in use</source>
        <translation>Adresse déjà utilisée</translation>
    </message>
    <message>
        <source>Cannot assign requested address</source>
        <translation>Impossible d’attribuer l’adresse demandée</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Permission refusée</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>Opération non permise</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>Aucun fichier ou dossier de ce nom</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>Aucun espace disponible sur le périphérique</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>Quota de disque dépassé</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>Système de fichiers en lecture seule</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>Erreur d’entrée-sortie</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>N’est pas un dossier</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>Est un dossier</translation>
    </message>
    <message>
        <source>File exists</source>
        <translation>Le fichier existe</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Brenvo cannot start</source>
        <translation>Brenvo ne peut pas démarrer</translation>
    </message>
</context>
<context>
    <name>QuitQuestion</name>
    <message>
        <source>1 download is running and will continue at the next start.</source>
        <translation>1 téléchargement est en cours et reprendra au prochain démarrage.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln downloads are running and will continue at the next start.</source>
        <translation>
            <numerusform>%Ln téléchargement est en cours et reprendra au prochain démarrage.</numerusform>
            <numerusform>%Ln téléchargements sont en cours et reprendront au prochain démarrage.</numerusform>
        </translation>
    </message>
    <message>
        <source>Quit Brenvo?</source>
        <translation>Quitter Brenvo ?</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>ReasonTexts</name>
    <message>
        <source>trying again now</source>
        <translation>nouvel essai maintenant</translation>
    </message>
    <message>
        <source>trying again in %1 s</source>
        <translation>nouvel essai dans %1 s</translation>
    </message>
    <message>
        <source>trying again at %1</source>
        <translation>nouvel essai à %1</translation>
    </message>
    <message>
        <source>%1 is offline or unreachable at %2</source>
        <translation>%1 est hors ligne ou injoignable à %2</translation>
    </message>
    <message>
        <source>Offline or unreachable</source>
        <translation>Hors ligne ou injoignable</translation>
    </message>
    <message>
        <source>%1 did not accept the connection: has %1 imported your card?</source>
        <translation>%1 n’a pas accepté la connexion&#xa0;: %1 a-t-il importé votre carte&#xa0;?</translation>
    </message>
    <message>
        <source>Did not accept the connection</source>
        <translation>Connexion non acceptée</translation>
    </message>
    <message>
        <source>%1&apos;s card has no address: ask %1 for a new card</source>
        <translation>La carte de %1 n’a pas d’adresse&#xa0;: demandez une nouvelle carte à %1</translation>
    </message>
    <message>
        <source>No address on the card</source>
        <translation>Aucune adresse sur la carte</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Port %1 is in use by another program: choose another port in Settings</source>
        <translation>Le port %1 est utilisé par un autre programme&#xa0;: choisissez un autre port dans les Paramètres</translation>
    </message>
    <message>
        <source>Brenvo cannot accept connections on port %1: %2</source>
        <translation>Brenvo ne peut pas accepter de connexions sur le port %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>%1 is not reachable directly or through Tor</source>
        <translation>%1 n’est joignable ni directement ni par Tor</translation>
    </message>
    <message>
        <source>Not reachable</source>
        <translation>Injoignable</translation>
    </message>
    <message>
        <source>The connection to %1 was lost</source>
        <translation>La connexion avec %1 a été perdue</translation>
    </message>
    <message>
        <source>Connection lost</source>
        <translation>Connexion perdue</translation>
    </message>
</context>
<context>
    <name>ShareTargets</name>
    <message>
        <source>The mail composer (xdg-email) could not be started.</source>
        <translation>Impossible de lancer le logiciel de courriel (xdg-email).</translation>
    </message>
    <message>
        <source>KDE Connect did not answer.</source>
        <translation>KDE Connect n’a pas répondu.</translation>
    </message>
    <message>
        <source>KDE Connect could not list the devices.</source>
        <translation>KDE Connect n’a pas pu lister les appareils.</translation>
    </message>
    <message>
        <source>KDE Connect (kdeconnect-cli) could not be started.</source>
        <translation>Impossible de lancer KDE Connect (kdeconnect-cli).</translation>
    </message>
    <message>
        <source>No device is available. Pair one with KDE Connect first.</source>
        <translation>Aucun appareil disponible. Associez-en d’abord un avec KDE Connect.</translation>
    </message>
    <message>
        <source>Send to Device</source>
        <translation>Envoyer à un appareil</translation>
    </message>
    <message>
        <source>Device:</source>
        <translation>Appareil&#xa0;:</translation>
    </message>
    <message>
        <source>Send</source>
        <comment>sends the card to the device</comment>
        <translation>Envoyer</translation>
    </message>
</context>
<context>
    <name>StatusIcon</name>
    <message>
        <source>less than a minute left</source>
        <translation>moins d’une minute restante</translation>
    </message>
    <message numerus="yes">
        <source>%Ln min left</source>
        <translation>
            <numerusform>%Ln min restante</numerusform>
            <numerusform>%Ln min restantes</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 h %2 min left</source>
        <translation>%1 h %2 min restantes</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 fichier</translation>
    </message>
    <message numerus="yes">
        <source>%Ln files</source>
        <translation>
            <numerusform>%Ln fichier</numerusform>
            <numerusform>%Ln fichiers</numerusform>
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
        <translation>À propos de Brenvo</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Brenvo %1&lt;/h3&gt;&lt;p&gt;Send files straight from one machine to another, between people who know each other, with no server in between.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Brenvo %1&lt;/h3&gt;&lt;p&gt;Envoyez des fichiers directement d’une machine à l’autre, entre personnes qui se connaissent, sans serveur entre elles.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Are you sure you want to uninstall Brenvo?</source>
        <translation>Voulez-vous vraiment désinstaller Brenvo&#xa0;?</translation>
    </message>
    <message>
        <source>This operation cannot be undone.</source>
        <translation>Cette opération est irréversible.</translation>
    </message>
    <message>
        <source>Brenvo removes your identity key, its settings and the files it made in the folder %1 (listed in the details); the folder itself only when nothing else is left in it.</source>
        <translation>Brenvo supprime votre clé d’identité, ses paramètres et les fichiers qu’il a créés dans le dossier %1 (listés dans les détails)&#xa0;; le dossier lui-même seulement s’il ne contient plus rien d’autre.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>Désinstaller</translation>
    </message>
    <message>
        <source>Brenvo</source>
        <translation>Brenvo</translation>
    </message>
    <message>
        <source>Brenvo could not move the program to the Trash.</source>
        <translation>Brenvo n’a pas pu mettre le programme à la corbeille.</translation>
    </message>
    <message>
        <source>Your data has been removed. %1 stays.</source>
        <translation>Vos données ont été supprimées. %1 est conservé.</translation>
    </message>
    <message>
        <source>Your data has been removed. Remove %1 yourself (%2).</source>
        <translation>Vos données ont été supprimées. Supprimez %1 vous-même (%2).</translation>
    </message>
    <message>
        <source>The program was installed with a package of the system: remove the package “brenvo” with your package manager, for example with the command: sudo apt remove brenvo</source>
        <translation>Le programme a été installé avec un paquet du système&#xa0;: supprimez le paquet « brenvo » avec votre gestionnaire de paquets, par exemple avec la commande&#xa0;: sudo apt remove brenvo</translation>
    </message>
    <message>
        <source>Your address changed: the card others hold is now out of date. Share it again with Share My Card…</source>
        <translation>Votre adresse a changé : la carte que les autres ont de vous n’est plus à jour. Partagez-la de nouveau avec Partager ma carte…</translation>
    </message>
    <message>
        <source>%1 offered more files than Brenvo keeps at once: %2 were not added</source>
        <translation>%1 a proposé plus de fichiers que Brenvo n’en garde à la fois : %2 n’ont pas été ajoutés</translation>
    </message>
    <message>
        <source>Someone</source>
        <translation>Quelqu’un</translation>
    </message>
    <message>
        <source>Someone who is not among your people tried to connect (key %1)</source>
        <translation>Quelqu’un qui ne fait pas partie de vos contacts a tenté de se connecter (clé %1)</translation>
    </message>
</context>
<context>
    <name>brenvo::AppNotifications</name>
    <message>
        <source>File Downloaded</source>
        <translation>Fichier téléchargé</translation>
    </message>
    <message>
        <source>%1 has finished downloading.</source>
        <translation>Le téléchargement de %1 est terminé.</translation>
    </message>
    <message>
        <source>Files Downloaded</source>
        <translation>Fichiers téléchargés</translation>
    </message>
    <message numerus="yes">
        <source>%n files downloaded.</source>
        <translation>
            <numerusform>%n fichier téléchargé.</numerusform>
            <numerusform>%n fichiers téléchargés.</numerusform>
        </translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Afficher</translation>
    </message>
    <message>
        <source>New File</source>
        <translation>Nouveau fichier</translation>
    </message>
    <message>
        <source>%1 shared %2 with you.</source>
        <translation>%1 a partagé %2 avec vous.</translation>
    </message>
    <message>
        <source>New Files</source>
        <translation>Nouveaux fichiers</translation>
    </message>
    <message numerus="yes">
        <source>%1 shared %Ln files with you.</source>
        <translation>
            <numerusform>%1 a partagé %Ln fichier avec vous.</numerusform>
            <numerusform>%1 a partagé %Ln fichiers avec vous.</numerusform>
        </translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Nouveau dossier</translation>
    </message>
    <message numerus="yes">
        <source>%1 shared the folder %2 (%Ln files, %3) with you</source>
        <translation>
            <numerusform>%1 a partagé le dossier %2 (%Ln fichier, %3) avec vous</numerusform>
            <numerusform>%1 a partagé le dossier %2 (%Ln fichiers, %3) avec vous</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 shared the folder %2 (1 file, %3) with you</source>
        <translation>%1 a partagé le dossier %2 (1 fichier, %3) avec vous</translation>
    </message>
</context>
<context>
    <name>brenvo::Background</name>
    <message>
        <source>Show Brenvo</source>
        <translation>Afficher Brenvo</translation>
    </message>
    <message>
        <source>Someone</source>
        <translation>Quelqu’un</translation>
    </message>
    <message>
        <source>%1 — 1 new file</source>
        <translation>%1 — 1 nouveau fichier</translation>
    </message>
    <message numerus="yes">
        <source>%1 — %Ln new files</source>
        <translation>
            <numerusform>%1 — %Ln nouveau fichier</numerusform>
            <numerusform>%1 — %Ln nouveaux fichiers</numerusform>
        </translation>
    </message>
    <message>
        <source>Pause all</source>
        <translation>Tout suspendre</translation>
    </message>
    <message>
        <source>Resume all</source>
        <translation>Tout reprendre</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
</context>
<context>
    <name>brenvo::CardActions</name>
    <message>
        <source>Brenvo cards (*.bcard)</source>
        <translation>Cartes Brenvo (*.bcard)</translation>
    </message>
    <message>
        <source>Share Card</source>
        <translation>Partager la carte</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exporter</translation>
    </message>
    <message>
        <source>Export As:</source>
        <translation>Exporter sous&#xa0;:</translation>
    </message>
    <message>
        <source>Failed to export file.</source>
        <translation>Échec de l’exportation du fichier.</translation>
    </message>
    <message>
        <source>Import Cards</source>
        <translation>Importer des cartes</translation>
    </message>
    <message>
        <source>Import</source>
        <comment>accepts the file dialog</comment>
        <translation>Importer</translation>
    </message>
    <message>
        <source>Import User</source>
        <translation>Importer l’utilisateur</translation>
    </message>
    <message>
        <source>Import Users</source>
        <translation>Importer les utilisateurs</translation>
    </message>
    <message>
        <source>My Card</source>
        <translation>Ma carte</translation>
    </message>
    <message>
        <source>Edit User</source>
        <translation>Modifier l’utilisateur</translation>
    </message>
    <message>
        <source>Remove user %1?</source>
        <translation>Supprimer l’utilisateur %1&#xa0;?</translation>
    </message>
    <message>
        <source>You will not be able to share files with %1 anymore.</source>
        <translation>Vous ne pourrez plus partager de fichiers avec %1.</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Select the people to share with</source>
        <translation>Choisissez les destinataires</translation>
    </message>
    <message>
        <source>Your card has no address</source>
        <translation>Votre carte n’a pas d’adresse</translation>
    </message>
    <message>
        <source>Others can&apos;t connect to you with this card until it has an address. Add one now?</source>
        <translation>Les autres ne pourront pas se connecter à vous avec cette carte tant qu’elle n’a pas d’adresse. En ajouter une maintenant&#xa0;?</translation>
    </message>
    <message>
        <source>Add Address…</source>
        <translation>Ajouter une adresse…</translation>
    </message>
    <message>
        <source>Share Anyway</source>
        <translation>Partager quand même</translation>
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
        <translation>Partager des fichiers</translation>
    </message>
    <message>
        <source>No shared files. Click the + button below to share files.</source>
        <translation>Aucun fichier partagé. Cliquez sur le bouton + ci-dessous pour partager des fichiers.</translation>
    </message>
    <message>
        <source>Share files…</source>
        <translation>Partager des fichiers…</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Retirer</translation>
    </message>
    <message>
        <source>Remove the selected files</source>
        <translation>Retirer les fichiers sélectionnés</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Download All</source>
        <translation>Tout télécharger</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Fichiers</translation>
    </message>
    <message>
        <source>Download every paused file of this person (%1)</source>
        <translation>Télécharger tous les fichiers en pause de cette personne (%1)</translation>
    </message>
    <message>
        <source>Context Menu</source>
        <translation>Menu contextuel</translation>
    </message>
    <message>
        <source>Share Folder</source>
        <translation>Partager un dossier</translation>
    </message>
    <message>
        <source>Share a folder…</source>
        <translation>Partager un dossier…</translation>
    </message>
</context>
<context>
    <name>brenvo::InfoBar</name>
    <message>
        <source>Problems</source>
        <translation>Problèmes</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Import Card…</source>
        <translation>Importer une carte…</translation>
    </message>
</context>
<context>
    <name>brenvo::MainWindow</name>
    <message>
        <source>Disconnect</source>
        <translation>Déconnecter</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connecter</translation>
    </message>
    <message>
        <source>No user selected.</source>
        <translation>Aucun utilisateur sélectionné.</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Connexion</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;New Window</source>
        <translation>&amp;Nouvelle fenêtre</translation>
    </message>
    <message>
        <source>&amp;Share My Card…</source>
        <translation>&amp;Partager ma carte…</translation>
    </message>
    <message>
        <source>&amp;Import Cards…</source>
        <translation>&amp;Importer des cartes…</translation>
    </message>
    <message>
        <source>S&amp;ettings…</source>
        <translation>Paramè&amp;tres…</translation>
    </message>
    <message>
        <source>&amp;Uninstall…</source>
        <translation>&amp;Désinstaller…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>É&amp;dition</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Supprimer</translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation>&amp;Tout sélectionner</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>Aff&amp;ichage</translation>
    </message>
    <message>
        <source>Show &amp;Sidebar</source>
        <translation>Afficher la barre &amp;latérale</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>&amp;About Brenvo</source>
        <translation>À &amp;propos de Brenvo</translation>
    </message>
    <message>
        <source>&amp;Check for Updates…</source>
        <translation>&amp;Rechercher des mises à jour…</translation>
    </message>
</context>
<context>
    <name>brenvo::SettingsView</name>
    <message>
        <source>Select</source>
        <comment>accepts the chosen folder</comment>
        <translation>Choisir</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>Check for updates automatically</source>
        <translation>Rechercher automatiquement les mises à jour</translation>
    </message>
    <message>
        <source>Keep running when the window is closed</source>
        <translation>Continuer après la fermeture de la fenêtre</translation>
    </message>
    <message>
        <source>Start Brenvo when you log in</source>
        <translation>Lancer Brenvo à l’ouverture de session</translation>
    </message>
    <message>
        <source>Listen for incoming connections</source>
        <translation>Écouter les connexions entrantes</translation>
    </message>
    <message>
        <source>Ask router to forward connections</source>
        <translation>Demander au routeur de rediriger les connexions</translation>
    </message>
    <message>
        <source>Brenvo will ask your router to forward connections received on the listening port to this machine.</source>
        <translation>Brenvo demandera à votre routeur de rediriger vers cette machine les connexions reçues sur le port d’écoute.</translation>
    </message>
    <message>
        <source>Download location:</source>
        <translation>Emplacement des téléchargements&#xa0;:</translation>
    </message>
    <message>
        <source>Brenvo could not change how it starts</source>
        <translation>Brenvo n’a pas pu modifier son démarrage</translation>
    </message>
    <message>
        <source>Brenvo could not arrange to start when you log in.</source>
        <translation>Brenvo n’a pas pu prévoir son lancement à l’ouverture de session.</translation>
    </message>
    <message>
        <source>Brenvo could not stop starting when you log in.</source>
        <translation>Brenvo n’a pas pu supprimer son lancement à l’ouverture de session.</translation>
    </message>
    <message>
        <source>Ask for each download</source>
        <translation>Demander à chaque téléchargement</translation>
    </message>
    <message>
        <source>Other…</source>
        <translation>Autre…</translation>
    </message>
    <message>
        <source>How others reach you</source>
        <translation>Comment les autres vous joignent</translation>
    </message>
    <message>
        <source>Listening port</source>
        <translation>Port d’écoute</translation>
    </message>
    <message>
        <source>Connect automatically</source>
        <translation>Se connecter automatiquement</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port&#xa0;:</translation>
    </message>
    <message>
        <source>Router:</source>
        <translation>Routeur&#xa0;:</translation>
    </message>
    <message>
        <source>Local network:</source>
        <translation>Réseau local&#xa0;:</translation>
    </message>
    <message>
        <source>Router</source>
        <translation>Routeur</translation>
    </message>
    <message>
        <source>Local network</source>
        <translation>Réseau local</translation>
    </message>
    <message>
        <source>Connects to people when there are files to send or receive, and tries again after a failure.</source>
        <translation>Se connecte aux personnes quand il y a des fichiers à envoyer ou à recevoir, et réessaie après un échec.</translation>
    </message>
    <message>
        <source>Not listening</source>
        <translation>Pas à l’écoute</translation>
    </message>
    <message>
        <source>Listening on port %1</source>
        <translation>À l’écoute sur le port %1</translation>
    </message>
    <message>
        <source>Not listening: your card has no port</source>
        <translation>Pas à l’écoute&#xa0;: votre carte n’a pas de port</translation>
    </message>
    <message>
        <source>Port %1 is in use by another program</source>
        <translation>Le port %1 est utilisé par un autre programme</translation>
    </message>
    <message>
        <source>Not listening: %1</source>
        <translation>Pas à l’écoute&#xa0;: %1</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>erreur inconnue</translation>
    </message>
    <message>
        <source>Not asked to forward connections</source>
        <translation>Aucune redirection demandée</translation>
    </message>
    <message>
        <source>Asking the router…</source>
        <translation>Interrogation du routeur…</translation>
    </message>
    <message>
        <source>Forwarding port %1 to this machine</source>
        <translation>Le port %1 est redirigé vers cette machine</translation>
    </message>
    <message>
        <source>Forwarding port %1 to this machine; your address on the internet is %2</source>
        <translation>Le port %1 est redirigé vers cette machine&#xa0;; votre adresse sur Internet est %2</translation>
    </message>
    <message>
        <source>No forwarding: no router answered</source>
        <translation>Aucune redirection&#xa0;: aucun routeur n’a répondu</translation>
    </message>
    <message>
        <source>No forwarding: %1</source>
        <translation>Aucune redirection&#xa0;: %1</translation>
    </message>
    <message>
        <source>Others on your network can find you</source>
        <translation>Les autres sur votre réseau peuvent vous trouver</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Désactivé</translation>
    </message>
    <message>
        <source>No mDNS responder (avahi-daemon) is running; others on your network can&apos;t find you automatically.</source>
        <translation>Aucun service mDNS (avahi-daemon) n’est en cours d’exécution&#xa0;; les autres sur votre réseau ne peuvent pas vous trouver automatiquement.</translation>
    </message>
    <message>
        <source>Others connect to</source>
        <translation>Les autres se connectent à</translation>
    </message>
    <message>
        <source>The card others hold is now out of date.</source>
        <translation>La carte que les autres ont de vous n’est plus à jour.</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Partager ma carte…</translation>
    </message>
    <message>
        <source>Others connect to:</source>
        <translation>Les autres se connectent à :</translation>
    </message>
    <message>
        <source>Your card has no address: others can&apos;t connect to you with it</source>
        <translation>Votre carte n’a pas d’adresse : les autres ne peuvent pas s’y connecter</translation>
    </message>
    <message>
        <source>%1 (proposed: confirm it with Share My Card…)</source>
        <translation>%1 (proposée : confirmez-la avec Partager ma carte…)</translation>
    </message>
    <message>
        <source>Reach people over the internet through Tor</source>
        <translation>Joindre les personnes sur Internet par Tor</translation>
    </message>
    <message>
        <source>Through Tor:</source>
        <translation>Par Tor :</translation>
    </message>
    <message>
        <source>Through Tor</source>
        <translation>Par Tor</translation>
    </message>
    <message>
        <source>People who have your card reach you through the Tor network wherever they are, and only they can: no router settings, no server in between.</source>
        <translation>Les personnes qui ont votre carte vous joignent par le réseau Tor où qu’elles soient, et elles seules : aucun réglage du routeur, aucun serveur intermédiaire.</translation>
    </message>
    <message>
        <source>tor is not installed</source>
        <translation>tor n’est pas installé</translation>
    </message>
    <message>
        <source>off</source>
        <translation>désactivé</translation>
    </message>
    <message>
        <source>ready</source>
        <translation>prêt</translation>
    </message>
    <message>
        <source>connecting, %1 %</source>
        <translation>connexion, %1 %</translation>
    </message>
    <message>
        <source>not available</source>
        <translation>indisponible</translation>
    </message>
    <message>
        <source>not available: %1</source>
        <translation>indisponible : %1</translation>
    </message>
    <message>
        <source>Use a direct connection when possible</source>
        <translation>Utiliser une connexion directe si possible</translation>
    </message>
    <message>
        <source>Tells the people you reach through Tor your addresses, so that files can go straight between your machines where the networks allow it.</source>
        <translation>Indique vos adresses aux personnes jointes par Tor, afin que les fichiers passent directement entre vos machines là où les réseaux le permettent.</translation>
    </message>
</context>
<context>
    <name>brenvo::ShareView</name>
    <message>
        <source>Share</source>
        <translation>Partager</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>Destinataires</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarDelegate</name>
    <message>
        <source>Share My Card</source>
        <translation>Partager ma carte</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarModel</name>
    <message>
        <source>Connected</source>
        <translation>Connecté</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>Connexion…</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Non connecté</translation>
    </message>
    <message>
        <source>%1, 1 new file</source>
        <translation>%1, 1 nouveau fichier</translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln new files</source>
        <translation>
            <numerusform>%1, %Ln nouveau fichier</numerusform>
            <numerusform>%1, %Ln nouveaux fichiers</numerusform>
        </translation>
    </message>
    <message>
        <source>Me</source>
        <translation>Moi</translation>
    </message>
    <message>
        <source>%1 (me)</source>
        <translation>%1 (moi)</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Edit My Card</source>
        <translation>Modifier ma carte</translation>
    </message>
    <message>
        <source>Edit %1</source>
        <translation>Modifier %1</translation>
    </message>
    <message>
        <source>%1. %2</source>
        <translation>%1. %2</translation>
    </message>
    <message>
        <source>Connected through Tor</source>
        <translation>Connecté par Tor</translation>
    </message>
    <message>
        <source>On your network</source>
        <translation>Sur votre réseau</translation>
    </message>
    <message>
        <source>Connected through Tor, no direct path</source>
        <translation>Connecté par Tor, pas de chemin direct</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarView</name>
    <message>
        <source>People</source>
        <translation>Personnes</translation>
    </message>
    <message>
        <source>Edit…</source>
        <translation>Modifier…</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Partager ma carte…</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connecter</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Déconnecter</translation>
    </message>
    <message>
        <source>Share Files…</source>
        <translation>Partager des fichiers…</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Share Folder…</source>
        <translation>Partager un dossier…</translation>
    </message>
</context>
<context>
    <name>brenvo::UpdaterController</name>
    <message>
        <source>The address of the update server is not an https:// address.</source>
        <translation>L’adresse du serveur de mises à jour n’est pas une adresse https://.</translation>
    </message>
    <message>
        <source>No trusted root certificates were found in %1.</source>
        <translation>Aucun certificat racine de confiance n’a été trouvé dans %1.</translation>
    </message>
    <message>
        <source>Checking for Updates…</source>
        <translation>Recherche de mises à jour…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Rechercher des mises à jour</translation>
    </message>
    <message>
        <source>You are up to date.</source>
        <translation>Brenvo est à jour.</translation>
    </message>
    <message>
        <source>You are already using the latest version.</source>
        <translation>Vous utilisez déjà la dernière version.</translation>
    </message>
    <message>
        <source>New version available.</source>
        <translation>Nouvelle version disponible.</translation>
    </message>
    <message>
        <source>Version %1 is available, you are running version %2. Would you like to download the update?</source>
        <translation>La version %1 est disponible, vous utilisez la version %2. Voulez-vous télécharger la mise à jour&#xa0;?</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>The list of updates could not be read (%1).</source>
        <translation>La liste des mises à jour n’a pas pu être lue (%1).</translation>
    </message>
    <message>
        <source>Could not check for updates.</source>
        <translation>Impossible de rechercher les mises à jour.</translation>
    </message>
</context>
<context>
    <name>brenvo::UserDetailsView</name>
    <message>
        <source>Share your card with other users in order to connect with them. They need to share their card with you too.</source>
        <translation>Partagez votre carte avec d’autres utilisateurs pour vous connecter à eux. Ils doivent aussi partager leur carte avec vous.</translation>
    </message>
    <message>
        <source>You can verify and edit information before importing new users.</source>
        <translation>Vous pouvez vérifier et modifier les informations avant d’importer de nouveaux utilisateurs.</translation>
    </message>
    <message>
        <source>Was: none</source>
        <translation>Avant&#xa0;: aucune</translation>
    </message>
    <message>
        <source>Was: %1</source>
        <translation>Avant&#xa0;: %1</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
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
        <translation>Empreinte</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Nom&#xa0;:</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Adresse&#xa0;:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port&#xa0;:</translation>
    </message>
    <message>
        <source>Fingerprint:</source>
        <translation>Empreinte&#xa0;:</translation>
    </message>
    <message>
        <source>Previous User</source>
        <translation>Utilisateur précédent</translation>
    </message>
    <message>
        <source>Next User</source>
        <translation>Utilisateur suivant</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Update</source>
        <comment>saves the edited card</comment>
        <translation>Mettre à jour</translation>
    </message>
    <message numerus="yes">
        <source>Import %n users</source>
        <translation>
            <numerusform>Importer %n utilisateur</numerusform>
            <numerusform>Importer %n utilisateurs</numerusform>
        </translation>
    </message>
    <message>
        <source>Import</source>
        <comment>imports the shown user</comment>
        <translation>Importer</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Partager</translation>
    </message>
    <message>
        <source>Email…</source>
        <translation>Courriel…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message>
        <source>Send to Device…</source>
        <translation>Envoyer à un appareil…</translation>
    </message>
    <message>
        <source>Export File…</source>
        <translation>Exporter un fichier…</translation>
    </message>
    <message>
        <source>%L1 of %L2</source>
        <comment>the user shown, of those imported</comment>
        <translation>%L1 sur %L2</translation>
    </message>
    <message>
        <source>You already have this user as “%1”: importing updates it.</source>
        <translation>Vous avez déjà cet utilisateur sous le nom « %1 »&#xa0;: l’importer le met à jour.</translation>
    </message>
    <message>
        <source>None: others can&apos;t connect to you</source>
        <translation>Aucune&#xa0;: les autres ne peuvent pas se connecter à vous</translation>
    </message>
    <message>
        <source>This machine can be reached at:</source>
        <translation>Cette machine est joignable à&#xa0;:</translation>
    </message>
    <message>
        <source>Use address %1</source>
        <translation>Utiliser l’adresse %1</translation>
    </message>
</context>
<context>
    <name>brenvo::WelcomeView</name>
    <message>
        <source>Welcome to Brenvo</source>
        <translation>Bienvenue dans Brenvo</translation>
    </message>
    <message>
        <source>You do not have any person to share with yet. Share your user card and import it on another machine. Likewise, import other people&apos;s cards onto this machine.</source>
        <translation>Vous n’avez encore personne avec qui partager. Partagez votre carte d’utilisateur et importez-la sur une autre machine. De même, importez les cartes d’autres personnes sur cette machine.</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Partager ma carte…</translation>
    </message>
    <message>
        <source>Import Cards…</source>
        <translation>Importer des cartes…</translation>
    </message>
</context>
</TS>
