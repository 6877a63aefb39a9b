<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>AppOptions</name>
    <message>
        <source>Send files straight to people you know.</source>
        <translation>Envíe archivos directamente a las personas que conoce.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Mostrar esta ayuda.</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>Mostrar la versión.</translation>
    </message>
    <message>
        <source>The support directory (default: $XDG_DATA_HOME/Brenvo).</source>
        <translation>La carpeta de datos (predeterminada: $XDG_DATA_HOME/Brenvo).</translation>
    </message>
    <message>
        <source>Where the identity key is kept: auto, secret-service or file.</source>
        <translation>Dónde se guarda la clave de identidad: auto, secret-service o file.</translation>
    </message>
    <message>
        <source>Log the details of every connection and block.</source>
        <translation>Registrar los detalles de cada conexión y cada bloque.</translation>
    </message>
    <message>
        <source>Start without a window, with the status icon only.</source>
        <translation>Iniciar sin ventana, solo con el icono de estado.</translation>
    </message>
    <message>
        <source>brenvo: links or card files to open.</source>
        <translation>Enlaces brenvo: o archivos de tarjeta que abrir.</translation>
    </message>
    <message>
        <source>--key-store takes auto, secret-service or file, not &quot;%1&quot;
</source>
        <translation>--key-store admite auto, secret-service o file, no «%1»
</translation>
    </message>
    <message>
        <source>Reach nobody through Tor while running, whatever the settings say.</source>
        <translation>No contactar con nadie a través de Tor durante la ejecución, digan lo que digan los ajustes.</translation>
    </message>
</context>
<context>
    <name>Autostart</name>
    <message>
        <source>The program&apos;s path cannot be written in a desktop entry.</source>
        <translation>La ruta del programa no se puede escribir en una entrada de escritorio.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>No se pudo crear la carpeta %1.</translation>
    </message>
</context>
<context>
    <name>BackgroundNotice</name>
    <message>
        <source>Brenvo is still running</source>
        <translation>Brenvo sigue en ejecución</translation>
    </message>
    <message>
        <source>Brenvo keeps receiving and sending files in the background. Quit it from its icon&apos;s menu or with Ctrl+Q.</source>
        <translation>Brenvo sigue recibiendo y enviando archivos en segundo plano. Salga desde el menú de su icono o con Ctrl+Q.</translation>
    </message>
</context>
<context>
    <name>CardFiles</name>
    <message>
        <source>Not a valid user card: %1</source>
        <translation>No es una tarjeta de usuario válida: %1</translation>
    </message>
    <message>
        <source>This is your own card: import it on the other machine instead</source>
        <translation>Es su propia tarjeta: impórtela en el otro equipo</translation>
    </message>
    <message>
        <source>Failed to import file %1.</source>
        <translation>No se pudo importar el archivo %1.</translation>
    </message>
    <message numerus="yes">
        <source>Failed to import %n files.</source>
        <translation>
            <numerusform>No se pudo importar %n archivo.</numerusform>
            <numerusform>No se pudieron importar %n archivos.</numerusform>
        </translation>
    </message>
    <message>
        <source>The file could not be written.</source>
        <translation>No se pudo escribir el archivo.</translation>
    </message>
</context>
<context>
    <name>DownloadDialogs</name>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
    <message>
        <source>Type one name for the file in the folder shown.</source>
        <translation>Escriba un nombre para el archivo en la carpeta mostrada.</translation>
    </message>
    <message>
        <source>Download as:</source>
        <translation>Descargar como:</translation>
    </message>
    <message>
        <source>Select the download location:</source>
        <translation>Seleccione la ubicación de descarga:</translation>
    </message>
</context>
<context>
    <name>FileList</name>
    <message>
        <source>Preview</source>
        <translation>Vista previa</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Mostrar en el gestor de archivos</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pausar</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Subir</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Reintentar</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Completado</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Descargas</translation>
    </message>
    <message>
        <source>Uploads</source>
        <translation>Subidas</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 de %2</translation>
    </message>
    <message numerus="yes">
        <source>%Ln s left</source>
        <translation>
            <numerusform>queda %Ln s</numerusform>
            <numerusform>quedan %Ln s</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln min left</source>
        <translation>
            <numerusform>queda %Ln min</numerusform>
            <numerusform>quedan %Ln min</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 h %2 min left</source>
        <translation>quedan %1 h %2 min</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>En pausa</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>En espera</translation>
    </message>
    <message>
        <source>Waiting for %1</source>
        <translation>Esperando a %1</translation>
    </message>
    <message>
        <source>Transferring</source>
        <translation>Transfiriendo</translation>
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
        <translation>Recibido, pero no se pudo mover a su sitio: %1</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Quitar</translation>
    </message>
    <message>
        <source>Withdrawn</source>
        <translation>Retirado</translation>
    </message>
    <message>
        <source>Withdrawn by %1</source>
        <translation>Retirado por %1</translation>
    </message>
    <message>
        <source>Not downloaded</source>
        <translation>No descargado</translation>
    </message>
    <message numerus="yes">
        <source>%n files</source>
        <translation>
            <numerusform>%n archivo</numerusform>
            <numerusform>%n archivos</numerusform>
        </translation>
    </message>
    <message>
        <source>Folder %1, %2</source>
        <translation>Carpeta %1, %2</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 archivo</translation>
    </message>
</context>
<context>
    <name>FileOffer</name>
    <message>
        <source>Failed to share file %1.</source>
        <translation>No se pudo compartir el archivo %1.</translation>
    </message>
    <message numerus="yes">
        <source>Failed to share %n files.</source>
        <translation>
            <numerusform>No se pudo compartir %n archivo.</numerusform>
            <numerusform>No se pudieron compartir %n archivos.</numerusform>
        </translation>
    </message>
    <message>
        <source>The folder holds no files.</source>
        <translation>La carpeta no contiene archivos.</translation>
    </message>
    <message>
        <source>Failed to share the folder %1.</source>
        <translation>No se pudo compartir la carpeta %1.</translation>
    </message>
</context>
<context>
    <name>HttpStatus</name>
    <message>
        <source>no error</source>
        <translation>sin error</translation>
    </message>
    <message>
        <source>no content</source>
        <translation>sin contenido</translation>
    </message>
    <message>
        <source>moved permanently</source>
        <translation>movido permanentemente</translation>
    </message>
    <message>
        <source>found</source>
        <translation>encontrado</translation>
    </message>
    <message>
        <source>not modified</source>
        <translation>no modificado</translation>
    </message>
    <message>
        <source>temporarily redirected</source>
        <translation>redirigido temporalmente</translation>
    </message>
    <message>
        <source>permanent redirect</source>
        <translation>redirección permanente</translation>
    </message>
    <message>
        <source>bad request</source>
        <translation>solicitud incorrecta</translation>
    </message>
    <message>
        <source>unauthorized</source>
        <translation>no autorizado</translation>
    </message>
    <message>
        <source>forbidden</source>
        <translation>prohibido</translation>
    </message>
    <message>
        <source>not found</source>
        <translation>no encontrado</translation>
    </message>
    <message>
        <source>method not allowed</source>
        <translation>método no permitido</translation>
    </message>
    <message>
        <source>unacceptable</source>
        <translation>no aceptable</translation>
    </message>
    <message>
        <source>request timed out</source>
        <translation>tiempo de espera de la solicitud agotado</translation>
    </message>
    <message>
        <source>no longer exists</source>
        <translation>ya no existe</translation>
    </message>
    <message>
        <source>too many requests</source>
        <translation>demasiadas solicitudes</translation>
    </message>
    <message>
        <source>internal server error</source>
        <translation>error interno del servidor</translation>
    </message>
    <message>
        <source>unimplemented</source>
        <translation>no implementado</translation>
    </message>
    <message>
        <source>bad gateway</source>
        <translation>puerta de enlace incorrecta</translation>
    </message>
    <message>
        <source>service unavailable</source>
        <translation>servicio no disponible</translation>
    </message>
    <message>
        <source>gateway timed out</source>
        <translation>tiempo de espera de la puerta de enlace agotado</translation>
    </message>
    <message>
        <source>informational</source>
        <translation>informativo</translation>
    </message>
    <message>
        <source>success</source>
        <translation>éxito</translation>
    </message>
    <message>
        <source>redirected</source>
        <translation>redirigido</translation>
    </message>
    <message>
        <source>client error</source>
        <translation>error del cliente</translation>
    </message>
    <message>
        <source>server error</source>
        <translation>error del servidor</translation>
    </message>
</context>
<context>
    <name>LibraryTexts</name>
    <message>
        <source>No gateway answered</source>
        <translation>Ninguna puerta de enlace respondió</translation>
    </message>
    <message>
        <source>The gateway refused to forward port %1: %2</source>
        <translation>La puerta de enlace rechazó redirigir el puerto %1: %2</translation>
    </message>
    <message>
        <source>%1 answered at %2</source>
        <translation>%1 respondió en %2</translation>
    </message>
    <message>
        <source>dns error: %1</source>
        <translation>error de DNS: %1</translation>
    </message>
    <message>
        <source>network error: %1</source>
        <translation>error de red: %1</translation>
    </message>
    <message>
        <source>The partial file %1 is gone</source>
        <translation>El archivo parcial %1 ya no existe</translation>
    </message>
    <message>
        <source>The finished download is still at %1: it could not be moved into place</source>
        <translation>La descarga terminada sigue en %1: no se pudo mover a su sitio</translation>
    </message>
    <message>
        <source>%1 is not a local file</source>
        <translation>%1 no es un archivo local</translation>
    </message>
    <message>
        <source>%1 is not a local directory</source>
        <translation>%1 no es una carpeta local</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot name a file</source>
        <translation>«%1» no puede ser el nombre de un archivo</translation>
    </message>
    <message>
        <source>no free name for %1</source>
        <translation>no hay un nombre libre para %1</translation>
    </message>
    <message>
        <source>not a local file: %1</source>
        <translation>no es un archivo local: %1</translation>
    </message>
    <message>
        <source>not a regular file: %1</source>
        <translation>no es un archivo normal: %1</translation>
    </message>
    <message>
        <source>no download location for %1</source>
        <translation>no hay ubicación de descarga para %1</translation>
    </message>
    <message>
        <source>block %1 is out of range</source>
        <translation>el bloque %1 está fuera de rango</translation>
    </message>
    <message>
        <source>block %1 is not part of %2</source>
        <translation>el bloque %1 no forma parte de %2</translation>
    </message>
    <message>
        <source>a block read returned fewer bytes than asked</source>
        <translation>la lectura de un bloque devolvió menos bytes de los pedidos</translation>
    </message>
    <message>
        <source>Connection refused</source>
        <translation>Conexión rechazada</translation>
    </message>
    <message>
        <source>No route to host</source>
        <translation>No hay ruta al host</translation>
    </message>
    <message>
        <source>Network is unreachable</source>
        <translation>La red no es accesible</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Tiempo de conexión agotado</translation>
    </message>
    <message>
        <source>Connection reset by peer</source>
        <translation>Conexión restablecida por el otro extremo</translation>
    </message>
    <message>
        <source>Broken pipe</source>
        <translation>Tubería rota</translation>
    </message>
    <message>
        <source>Address already in use</source>
        <translation>La dirección ya está en uso</translation>
    </message>
    <message>
        <source>Cannot assign requested address</source>
        <translation>No se puede asignar la dirección solicitada</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Permiso denegado</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>Operación no permitida</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>No existe el archivo o el directorio</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>No queda espacio en el dispositivo</translation>
    </message>
    <message>
        <source>Disk quota exceeded</source>
        <translation>Cuota de disco excedida</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>Sistema de archivos de solo lectura</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>Error de entrada/salida</translation>
    </message>
    <message>
        <source>Not a directory</source>
        <translation>No es un directorio</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>Es un directorio</translation>
    </message>
    <message>
        <source>File exists</source>
        <translation>El archivo ya existe</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Brenvo cannot start</source>
        <translation>Brenvo no puede iniciarse</translation>
    </message>
</context>
<context>
    <name>QuitQuestion</name>
    <message>
        <source>1 download is running and will continue at the next start.</source>
        <translation>1 descarga está en curso y continuará en el próximo inicio.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln downloads are running and will continue at the next start.</source>
        <translation>
            <numerusform>%Ln descarga está en curso y continuará en el próximo inicio.</numerusform>
            <numerusform>%Ln descargas están en curso y continuarán en el próximo inicio.</numerusform>
        </translation>
    </message>
    <message>
        <source>Quit Brenvo?</source>
        <translation>¿Salir de Brenvo?</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>ReasonTexts</name>
    <message>
        <source>trying again now</source>
        <translation>reintentando ahora</translation>
    </message>
    <message>
        <source>trying again in %1 s</source>
        <translation>se reintentará en %1 s</translation>
    </message>
    <message>
        <source>trying again at %1</source>
        <translation>se reintentará a las %1</translation>
    </message>
    <message>
        <source>%1 is offline or unreachable at %2</source>
        <translation>%1 está desconectado o no es accesible en %2</translation>
    </message>
    <message>
        <source>Offline or unreachable</source>
        <translation>Desconectado o inaccesible</translation>
    </message>
    <message>
        <source>%1 did not accept the connection: has %1 imported your card?</source>
        <translation>%1 no aceptó la conexión: ¿ha importado %1 su tarjeta?</translation>
    </message>
    <message>
        <source>Did not accept the connection</source>
        <translation>No aceptó la conexión</translation>
    </message>
    <message>
        <source>%1&apos;s card has no address: ask %1 for a new card</source>
        <translation>La tarjeta de %1 no tiene dirección: pida a %1 una tarjeta nueva</translation>
    </message>
    <message>
        <source>No address on the card</source>
        <translation>La tarjeta no tiene dirección</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Port %1 is in use by another program: choose another port in Settings</source>
        <translation>Otro programa está usando el puerto %1: elija otro puerto en Preferencias</translation>
    </message>
    <message>
        <source>Brenvo cannot accept connections on port %1: %2</source>
        <translation>Brenvo no puede aceptar conexiones en el puerto %1: %2</translation>
    </message>
    <message>
        <source>%1 is not reachable directly or through Tor</source>
        <translation>No se puede contactar con %1 ni directamente ni a través de Tor</translation>
    </message>
    <message>
        <source>Not reachable</source>
        <translation>Inalcanzable</translation>
    </message>
    <message>
        <source>The connection to %1 was lost</source>
        <translation>Se perdió la conexión con %1</translation>
    </message>
    <message>
        <source>Connection lost</source>
        <translation>Conexión perdida</translation>
    </message>
</context>
<context>
    <name>ShareTargets</name>
    <message>
        <source>The mail composer (xdg-email) could not be started.</source>
        <translation>No se pudo iniciar el programa de correo (xdg-email).</translation>
    </message>
    <message>
        <source>KDE Connect did not answer.</source>
        <translation>KDE Connect no respondió.</translation>
    </message>
    <message>
        <source>KDE Connect could not list the devices.</source>
        <translation>KDE Connect no pudo listar los dispositivos.</translation>
    </message>
    <message>
        <source>KDE Connect (kdeconnect-cli) could not be started.</source>
        <translation>No se pudo iniciar KDE Connect (kdeconnect-cli).</translation>
    </message>
    <message>
        <source>No device is available. Pair one with KDE Connect first.</source>
        <translation>No hay ningún dispositivo disponible. Vincule uno con KDE Connect primero.</translation>
    </message>
    <message>
        <source>Send to Device</source>
        <translation>Enviar a un dispositivo</translation>
    </message>
    <message>
        <source>Device:</source>
        <translation>Dispositivo:</translation>
    </message>
    <message>
        <source>Send</source>
        <comment>sends the card to the device</comment>
        <translation>Enviar</translation>
    </message>
</context>
<context>
    <name>StatusIcon</name>
    <message>
        <source>less than a minute left</source>
        <translation>queda menos de un minuto</translation>
    </message>
    <message numerus="yes">
        <source>%Ln min left</source>
        <translation>
            <numerusform>queda %Ln min</numerusform>
            <numerusform>quedan %Ln min</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 h %2 min left</source>
        <translation>quedan %1 h %2 min</translation>
    </message>
    <message>
        <source>1 file</source>
        <translation>1 archivo</translation>
    </message>
    <message numerus="yes">
        <source>%Ln files</source>
        <translation>
            <numerusform>%Ln archivo</numerusform>
            <numerusform>%Ln archivos</numerusform>
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
        <translation>Acerca de Brenvo</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Brenvo %1&lt;/h3&gt;&lt;p&gt;Send files straight from one machine to another, between people who know each other, with no server in between.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Brenvo %1&lt;/h3&gt;&lt;p&gt;Envíe archivos directamente de un equipo a otro, entre personas que se conocen, sin ningún servidor de por medio.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Are you sure you want to uninstall Brenvo?</source>
        <translation>¿Seguro que quiere desinstalar Brenvo?</translation>
    </message>
    <message>
        <source>This operation cannot be undone.</source>
        <translation>Esta operación no se puede deshacer.</translation>
    </message>
    <message>
        <source>Brenvo removes your identity key, its settings and the files it made in the folder %1 (listed in the details); the folder itself only when nothing else is left in it.</source>
        <translation>Brenvo elimina su clave de identidad, sus preferencias y los archivos que creó en la carpeta %1 (enumerados en los detalles); la carpeta en sí, solo si no queda nada más en ella.</translation>
    </message>
    <message>
        <source>Uninstall</source>
        <translation>Desinstalar</translation>
    </message>
    <message>
        <source>Brenvo</source>
        <translation>Brenvo</translation>
    </message>
    <message>
        <source>Brenvo could not move the program to the Trash.</source>
        <translation>Brenvo no pudo mover el programa a la papelera.</translation>
    </message>
    <message>
        <source>Your data has been removed. %1 stays.</source>
        <translation>Sus datos se han eliminado. %1 se conserva.</translation>
    </message>
    <message>
        <source>Your data has been removed. Remove %1 yourself (%2).</source>
        <translation>Sus datos se han eliminado. Elimine %1 usted mismo (%2).</translation>
    </message>
    <message>
        <source>The program was installed with a package of the system: remove the package “brenvo” with your package manager, for example with the command: sudo apt remove brenvo</source>
        <translation>El programa se instaló con un paquete del sistema: elimine el paquete «brenvo» con su gestor de paquetes, por ejemplo con la orden: sudo apt remove brenvo</translation>
    </message>
    <message>
        <source>Your address changed: the card others hold is now out of date. Share it again with Share My Card…</source>
        <translation>Su dirección ha cambiado: la tarjeta que tienen los demás ya no está al día. Compártala de nuevo con Compartir mi tarjeta…</translation>
    </message>
    <message>
        <source>%1 offered more files than Brenvo keeps at once: %2 were not added</source>
        <translation>%1 ofreció más archivos de los que Brenvo guarda a la vez: %2 no se añadieron</translation>
    </message>
    <message>
        <source>Someone</source>
        <translation>Alguien</translation>
    </message>
    <message>
        <source>Someone who is not among your people tried to connect (key %1)</source>
        <translation>Alguien que no está entre sus contactos intentó conectarse (clave %1)</translation>
    </message>
</context>
<context>
    <name>brenvo::AppNotifications</name>
    <message>
        <source>File Downloaded</source>
        <translation>Archivo descargado</translation>
    </message>
    <message>
        <source>%1 has finished downloading.</source>
        <translation>%1 terminó de descargarse.</translation>
    </message>
    <message>
        <source>Files Downloaded</source>
        <translation>Archivos descargados</translation>
    </message>
    <message numerus="yes">
        <source>%n files downloaded.</source>
        <translation>
            <numerusform>%n archivo descargado.</numerusform>
            <numerusform>%n archivos descargados.</numerusform>
        </translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Mostrar</translation>
    </message>
    <message>
        <source>New File</source>
        <translation>Archivo nuevo</translation>
    </message>
    <message>
        <source>%1 shared %2 with you.</source>
        <translation>%1 ha compartido %2 con usted.</translation>
    </message>
    <message>
        <source>New Files</source>
        <translation>Archivos nuevos</translation>
    </message>
    <message numerus="yes">
        <source>%1 shared %Ln files with you.</source>
        <translation>
            <numerusform>%1 ha compartido %Ln archivo con usted.</numerusform>
            <numerusform>%1 ha compartido %Ln archivos con usted.</numerusform>
        </translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Carpeta nueva</translation>
    </message>
    <message numerus="yes">
        <source>%1 shared the folder %2 (%Ln files, %3) with you</source>
        <translation>
            <numerusform>%1 ha compartido la carpeta %2 (%Ln archivo, %3) con usted</numerusform>
            <numerusform>%1 ha compartido la carpeta %2 (%Ln archivos, %3) con usted</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 shared the folder %2 (1 file, %3) with you</source>
        <translation>%1 ha compartido la carpeta %2 (1 archivo, %3) con usted</translation>
    </message>
</context>
<context>
    <name>brenvo::Background</name>
    <message>
        <source>Show Brenvo</source>
        <translation>Mostrar Brenvo</translation>
    </message>
    <message>
        <source>Someone</source>
        <translation>Alguien</translation>
    </message>
    <message>
        <source>%1 — 1 new file</source>
        <translation>%1 — 1 archivo nuevo</translation>
    </message>
    <message numerus="yes">
        <source>%1 — %Ln new files</source>
        <translation>
            <numerusform>%1 — %Ln archivo nuevo</numerusform>
            <numerusform>%1 — %Ln archivos nuevos</numerusform>
        </translation>
    </message>
    <message>
        <source>Pause all</source>
        <translation>Pausar todo</translation>
    </message>
    <message>
        <source>Resume all</source>
        <translation>Reanudar todo</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
</context>
<context>
    <name>brenvo::CardActions</name>
    <message>
        <source>Brenvo cards (*.bcard)</source>
        <translation>Tarjetas de Brenvo (*.bcard)</translation>
    </message>
    <message>
        <source>Share Card</source>
        <translation>Compartir tarjeta</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportar</translation>
    </message>
    <message>
        <source>Export As:</source>
        <translation>Exportar como:</translation>
    </message>
    <message>
        <source>Failed to export file.</source>
        <translation>No se pudo exportar el archivo.</translation>
    </message>
    <message>
        <source>Import Cards</source>
        <translation>Importar tarjetas</translation>
    </message>
    <message>
        <source>Import</source>
        <comment>accepts the file dialog</comment>
        <translation>Importar</translation>
    </message>
    <message>
        <source>Import User</source>
        <translation>Importar usuario</translation>
    </message>
    <message>
        <source>Import Users</source>
        <translation>Importar usuarios</translation>
    </message>
    <message>
        <source>My Card</source>
        <translation>Mi tarjeta</translation>
    </message>
    <message>
        <source>Edit User</source>
        <translation>Editar usuario</translation>
    </message>
    <message>
        <source>Remove user %1?</source>
        <translation>¿Eliminar al usuario %1?</translation>
    </message>
    <message>
        <source>You will not be able to share files with %1 anymore.</source>
        <translation>Ya no podrá compartir archivos con %1.</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Eliminar</translation>
    </message>
    <message>
        <source>Select the people to share with</source>
        <translation>Seleccione los destinatarios</translation>
    </message>
    <message>
        <source>Your card has no address</source>
        <translation>Su tarjeta no tiene dirección</translation>
    </message>
    <message>
        <source>Others can&apos;t connect to you with this card until it has an address. Add one now?</source>
        <translation>Los demás no podrán conectarse con usted con esta tarjeta hasta que tenga una dirección. ¿Añadir una ahora?</translation>
    </message>
    <message>
        <source>Add Address…</source>
        <translation>Añadir dirección…</translation>
    </message>
    <message>
        <source>Share Anyway</source>
        <translation>Compartir de todos modos</translation>
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
        <translation>Compartir archivos</translation>
    </message>
    <message>
        <source>No shared files. Click the + button below to share files.</source>
        <translation>No hay archivos compartidos. Pulse el botón + de abajo para compartir archivos.</translation>
    </message>
    <message>
        <source>Share files…</source>
        <translation>Compartir archivos…</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Quitar</translation>
    </message>
    <message>
        <source>Remove the selected files</source>
        <translation>Quitar los archivos seleccionados</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Eliminar</translation>
    </message>
    <message>
        <source>Download All</source>
        <translation>Descargar todo</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Archivos</translation>
    </message>
    <message>
        <source>Download every paused file of this person (%1)</source>
        <translation>Descargar todos los archivos en pausa de esta persona (%1)</translation>
    </message>
    <message>
        <source>Context Menu</source>
        <translation>Menú contextual</translation>
    </message>
    <message>
        <source>Share Folder</source>
        <translation>Compartir carpeta</translation>
    </message>
    <message>
        <source>Share a folder…</source>
        <translation>Compartir una carpeta…</translation>
    </message>
</context>
<context>
    <name>brenvo::InfoBar</name>
    <message>
        <source>Problems</source>
        <translation>Problemas</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Descartar</translation>
    </message>
    <message>
        <source>Import Card…</source>
        <translation>Importar tarjeta…</translation>
    </message>
</context>
<context>
    <name>brenvo::MainWindow</name>
    <message>
        <source>Disconnect</source>
        <translation>Desconectar</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Conectar</translation>
    </message>
    <message>
        <source>No user selected.</source>
        <translation>No hay ningún usuario seleccionado.</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Conexión</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <source>&amp;New Window</source>
        <translation>&amp;Nueva ventana</translation>
    </message>
    <message>
        <source>&amp;Share My Card…</source>
        <translation>&amp;Compartir mi tarjeta…</translation>
    </message>
    <message>
        <source>&amp;Import Cards…</source>
        <translation>&amp;Importar tarjetas…</translation>
    </message>
    <message>
        <source>S&amp;ettings…</source>
        <translation>&amp;Preferencias…</translation>
    </message>
    <message>
        <source>&amp;Uninstall…</source>
        <translation>&amp;Desinstalar…</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Salir</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Editar</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Eliminar</translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation>Seleccionar &amp;todo</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ver</translation>
    </message>
    <message>
        <source>Show &amp;Sidebar</source>
        <translation>Mostrar la barra &amp;lateral</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>Ay&amp;uda</translation>
    </message>
    <message>
        <source>&amp;About Brenvo</source>
        <translation>&amp;Acerca de Brenvo</translation>
    </message>
    <message>
        <source>&amp;Check for Updates…</source>
        <translation>&amp;Buscar actualizaciones…</translation>
    </message>
</context>
<context>
    <name>brenvo::SettingsView</name>
    <message>
        <source>Select</source>
        <comment>accepts the chosen folder</comment>
        <translation>Seleccionar</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Preferencias</translation>
    </message>
    <message>
        <source>Check for updates automatically</source>
        <translation>Buscar actualizaciones automáticamente</translation>
    </message>
    <message>
        <source>Keep running when the window is closed</source>
        <translation>Seguir en ejecución al cerrar la ventana</translation>
    </message>
    <message>
        <source>Start Brenvo when you log in</source>
        <translation>Iniciar Brenvo al iniciar la sesión</translation>
    </message>
    <message>
        <source>Listen for incoming connections</source>
        <translation>Escuchar conexiones entrantes</translation>
    </message>
    <message>
        <source>Ask router to forward connections</source>
        <translation>Pedir al router que reenvíe las conexiones</translation>
    </message>
    <message>
        <source>Brenvo will ask your router to forward connections received on the listening port to this machine.</source>
        <translation>Brenvo pedirá a su router que reenvíe a este equipo las conexiones recibidas en el puerto de escucha.</translation>
    </message>
    <message>
        <source>Download location:</source>
        <translation>Ubicación de descarga:</translation>
    </message>
    <message>
        <source>Brenvo could not change how it starts</source>
        <translation>Brenvo no pudo cambiar cómo se inicia</translation>
    </message>
    <message>
        <source>Brenvo could not arrange to start when you log in.</source>
        <translation>Brenvo no pudo configurarse para iniciarse al iniciar la sesión.</translation>
    </message>
    <message>
        <source>Brenvo could not stop starting when you log in.</source>
        <translation>Brenvo no pudo dejar de iniciarse al iniciar la sesión.</translation>
    </message>
    <message>
        <source>Ask for each download</source>
        <translation>Preguntar en cada descarga</translation>
    </message>
    <message>
        <source>Other…</source>
        <translation>Otra…</translation>
    </message>
    <message>
        <source>How others reach you</source>
        <translation>Cómo le encuentran los demás</translation>
    </message>
    <message>
        <source>Listening port</source>
        <translation>Puerto de escucha</translation>
    </message>
    <message>
        <source>Connect automatically</source>
        <translation>Conectar automáticamente</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Puerto:</translation>
    </message>
    <message>
        <source>Router:</source>
        <translation>Router:</translation>
    </message>
    <message>
        <source>Local network:</source>
        <translation>Red local:</translation>
    </message>
    <message>
        <source>Router</source>
        <translation>Router</translation>
    </message>
    <message>
        <source>Local network</source>
        <translation>Red local</translation>
    </message>
    <message>
        <source>Connects to people when there are files to send or receive, and tries again after a failure.</source>
        <translation>Se conecta con las personas cuando hay archivos que enviar o recibir, y lo reintenta tras un fallo.</translation>
    </message>
    <message>
        <source>Not listening</source>
        <translation>Sin escuchar</translation>
    </message>
    <message>
        <source>Listening on port %1</source>
        <translation>Escuchando en el puerto %1</translation>
    </message>
    <message>
        <source>Not listening: your card has no port</source>
        <translation>Sin escuchar: su tarjeta no tiene puerto</translation>
    </message>
    <message>
        <source>Port %1 is in use by another program</source>
        <translation>Otro programa está usando el puerto %1</translation>
    </message>
    <message>
        <source>Not listening: %1</source>
        <translation>Sin escuchar: %1</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>error desconocido</translation>
    </message>
    <message>
        <source>Not asked to forward connections</source>
        <translation>No se ha pedido reenviar conexiones</translation>
    </message>
    <message>
        <source>Asking the router…</source>
        <translation>Consultando al router…</translation>
    </message>
    <message>
        <source>Forwarding port %1 to this machine</source>
        <translation>Reenviando el puerto %1 a este equipo</translation>
    </message>
    <message>
        <source>Forwarding port %1 to this machine; your address on the internet is %2</source>
        <translation>Reenviando el puerto %1 a este equipo; su dirección en Internet es %2</translation>
    </message>
    <message>
        <source>No forwarding: no router answered</source>
        <translation>Sin reenvío: ningún router respondió</translation>
    </message>
    <message>
        <source>No forwarding: %1</source>
        <translation>Sin reenvío: %1</translation>
    </message>
    <message>
        <source>Others on your network can find you</source>
        <translation>Los demás en su red pueden encontrarle</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Desactivado</translation>
    </message>
    <message>
        <source>No mDNS responder (avahi-daemon) is running; others on your network can&apos;t find you automatically.</source>
        <translation>No se está ejecutando ningún servicio mDNS (avahi-daemon); los demás en su red no pueden encontrarle automáticamente.</translation>
    </message>
    <message>
        <source>Others connect to</source>
        <translation>Los demás se conectan a</translation>
    </message>
    <message>
        <source>The card others hold is now out of date.</source>
        <translation>La tarjeta que tienen los demás ya no está al día.</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Compartir mi tarjeta…</translation>
    </message>
    <message>
        <source>Others connect to:</source>
        <translation>Los demás se conectan a:</translation>
    </message>
    <message>
        <source>Your card has no address: others can&apos;t connect to you with it</source>
        <translation>Su tarjeta no tiene dirección: los demás no pueden conectarse con ella</translation>
    </message>
    <message>
        <source>%1 (proposed: confirm it with Share My Card…)</source>
        <translation>%1 (propuesta: confírmela con Compartir mi tarjeta…)</translation>
    </message>
    <message>
        <source>Reach people over the internet through Tor</source>
        <translation>Contactar con personas en Internet a través de Tor</translation>
    </message>
    <message>
        <source>Through Tor:</source>
        <translation>A través de Tor:</translation>
    </message>
    <message>
        <source>Through Tor</source>
        <translation>A través de Tor</translation>
    </message>
    <message>
        <source>People who have your card reach you through the Tor network wherever they are, and only they can: no router settings, no server in between.</source>
        <translation>Quienes tienen tu tarjeta te contactan a través de la red Tor estén donde estén, y solo ellos: sin ajustes del router, sin ningún servidor en medio.</translation>
    </message>
    <message>
        <source>tor is not installed</source>
        <translation>tor no está instalado</translation>
    </message>
    <message>
        <source>off</source>
        <translation>desactivado</translation>
    </message>
    <message>
        <source>ready</source>
        <translation>listo</translation>
    </message>
    <message>
        <source>connecting, %1 %</source>
        <translation>conectando, %1 %</translation>
    </message>
    <message>
        <source>not available</source>
        <translation>no disponible</translation>
    </message>
    <message>
        <source>not available: %1</source>
        <translation>no disponible: %1</translation>
    </message>
    <message>
        <source>Use a direct connection when possible</source>
        <translation>Usar una conexión directa cuando sea posible</translation>
    </message>
    <message>
        <source>Tells the people you reach through Tor your addresses, so that files can go straight between your machines where the networks allow it.</source>
        <translation>Comunica tus direcciones a las personas con las que conectas a través de Tor, para que los archivos vayan directamente entre vuestros equipos donde las redes lo permitan.</translation>
    </message>
</context>
<context>
    <name>brenvo::ShareView</name>
    <message>
        <source>Share</source>
        <translation>Compartir</translation>
    </message>
    <message>
        <source>Recipients</source>
        <translation>Destinatarios</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarDelegate</name>
    <message>
        <source>Share My Card</source>
        <translation>Compartir mi tarjeta</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarModel</name>
    <message>
        <source>Connected</source>
        <translation>Conectado</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>Conectando…</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>No conectado</translation>
    </message>
    <message>
        <source>%1, 1 new file</source>
        <translation>%1, 1 archivo nuevo</translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln new files</source>
        <translation>
            <numerusform>%1, %Ln archivo nuevo</numerusform>
            <numerusform>%1, %Ln archivos nuevos</numerusform>
        </translation>
    </message>
    <message>
        <source>Me</source>
        <translation>Yo</translation>
    </message>
    <message>
        <source>%1 (me)</source>
        <translation>%1 (yo)</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>Edit My Card</source>
        <translation>Editar mi tarjeta</translation>
    </message>
    <message>
        <source>Edit %1</source>
        <translation>Editar %1</translation>
    </message>
    <message>
        <source>%1. %2</source>
        <translation>%1. %2</translation>
    </message>
    <message>
        <source>Connected through Tor</source>
        <translation>Conectado a través de Tor</translation>
    </message>
    <message>
        <source>On your network</source>
        <translation>En su red</translation>
    </message>
    <message>
        <source>Connected through Tor, no direct path</source>
        <translation>Conectado a través de Tor, sin ruta directa</translation>
    </message>
</context>
<context>
    <name>brenvo::SidebarView</name>
    <message>
        <source>People</source>
        <translation>Personas</translation>
    </message>
    <message>
        <source>Edit…</source>
        <translation>Editar…</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Compartir mi tarjeta…</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Conectar</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Desconectar</translation>
    </message>
    <message>
        <source>Share Files…</source>
        <translation>Compartir archivos…</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Eliminar</translation>
    </message>
    <message>
        <source>Share Folder…</source>
        <translation>Compartir carpeta…</translation>
    </message>
</context>
<context>
    <name>brenvo::UpdaterController</name>
    <message>
        <source>The address of the update server is not an https:// address.</source>
        <translation>La dirección del servidor de actualizaciones no es una dirección https://.</translation>
    </message>
    <message>
        <source>No trusted root certificates were found in %1.</source>
        <translation>No se encontraron certificados raíz de confianza en %1.</translation>
    </message>
    <message>
        <source>Checking for Updates…</source>
        <translation>Buscando actualizaciones…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Buscar actualizaciones</translation>
    </message>
    <message>
        <source>You are up to date.</source>
        <translation>Brenvo está actualizado.</translation>
    </message>
    <message>
        <source>You are already using the latest version.</source>
        <translation>Ya está usando la versión más reciente.</translation>
    </message>
    <message>
        <source>New version available.</source>
        <translation>Nueva versión disponible.</translation>
    </message>
    <message>
        <source>Version %1 is available, you are running version %2. Would you like to download the update?</source>
        <translation>La versión %1 está disponible y usted usa la versión %2. ¿Quiere descargar la actualización?</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descargar</translation>
    </message>
    <message>
        <source>The list of updates could not be read (%1).</source>
        <translation>No se pudo leer la lista de actualizaciones (%1).</translation>
    </message>
    <message>
        <source>Could not check for updates.</source>
        <translation>No se pudieron buscar actualizaciones.</translation>
    </message>
</context>
<context>
    <name>brenvo::UserDetailsView</name>
    <message>
        <source>Share your card with other users in order to connect with them. They need to share their card with you too.</source>
        <translation>Comparta su tarjeta con otros usuarios para conectarse con ellos. Ellos también deben compartir su tarjeta con usted.</translation>
    </message>
    <message>
        <source>You can verify and edit information before importing new users.</source>
        <translation>Puede verificar y editar la información antes de importar usuarios nuevos.</translation>
    </message>
    <message>
        <source>Was: none</source>
        <translation>Antes: ninguno</translation>
    </message>
    <message>
        <source>Was: %1</source>
        <translation>Antes: %1</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nombre</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Dirección</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Puerto</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Huella digital</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Nombre:</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Dirección:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Puerto:</translation>
    </message>
    <message>
        <source>Fingerprint:</source>
        <translation>Huella digital:</translation>
    </message>
    <message>
        <source>Previous User</source>
        <translation>Usuario anterior</translation>
    </message>
    <message>
        <source>Next User</source>
        <translation>Usuario siguiente</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Update</source>
        <comment>saves the edited card</comment>
        <translation>Actualizar</translation>
    </message>
    <message numerus="yes">
        <source>Import %n users</source>
        <translation>
            <numerusform>Importar %n usuario</numerusform>
            <numerusform>Importar %n usuarios</numerusform>
        </translation>
    </message>
    <message>
        <source>Import</source>
        <comment>imports the shown user</comment>
        <translation>Importar</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Compartir</translation>
    </message>
    <message>
        <source>Email…</source>
        <translation>Correo electrónico…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copiar</translation>
    </message>
    <message>
        <source>Send to Device…</source>
        <translation>Enviar a un dispositivo…</translation>
    </message>
    <message>
        <source>Export File…</source>
        <translation>Exportar archivo…</translation>
    </message>
    <message>
        <source>%L1 of %L2</source>
        <comment>the user shown, of those imported</comment>
        <translation>%L1 de %L2</translation>
    </message>
    <message>
        <source>You already have this user as “%1”: importing updates it.</source>
        <translation>Ya tiene a este usuario como «%1»: al importarlo se actualiza.</translation>
    </message>
    <message>
        <source>None: others can&apos;t connect to you</source>
        <translation>Ninguna: los demás no pueden conectarse con usted</translation>
    </message>
    <message>
        <source>This machine can be reached at:</source>
        <translation>Este equipo es accesible en:</translation>
    </message>
    <message>
        <source>Use address %1</source>
        <translation>Usar la dirección %1</translation>
    </message>
</context>
<context>
    <name>brenvo::WelcomeView</name>
    <message>
        <source>Welcome to Brenvo</source>
        <translation>Le damos la bienvenida a Brenvo</translation>
    </message>
    <message>
        <source>You do not have any person to share with yet. Share your user card and import it on another machine. Likewise, import other people&apos;s cards onto this machine.</source>
        <translation>Todavía no tiene a nadie con quien compartir. Comparta su tarjeta de usuario e impórtela en otro equipo. Del mismo modo, importe aquí las tarjetas de otras personas.</translation>
    </message>
    <message>
        <source>Share My Card…</source>
        <translation>Compartir mi tarjeta…</translation>
    </message>
    <message>
        <source>Import Cards…</source>
        <translation>Importar tarjetas…</translation>
    </message>
</context>
</TS>
