<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>sarvik::app::ClusterStrip</name>
    <message>
        <source>free, still holding the file&apos;s data</source>
        <translation>frei, hält noch die Daten der Datei</translation>
    </message>
    <message>
        <source>claimed since by another file</source>
        <translation>inzwischen von einer anderen Datei belegt</translation>
    </message>
    <message>
        <source>unreadable</source>
        <translation>unlesbar</translation>
    </message>
    <message>
        <source>sparse: no data stored</source>
        <translation>Sparse: keine Daten gespeichert</translation>
    </message>
    <message numerus="yes">
        <source>%1 cluster(s): %2</source>
        <translation>
            <numerusform>%1 Cluster: %2</numerusform>
            <numerusform>%1 Cluster: %2</numerusform>
        </translation>
    </message>
    <message>
        <source>Cluster %1: %2</source>
        <translation>Cluster %1: %2</translation>
    </message>
    <message>
        <source>Clusters %1 to %2 (%3): %4</source>
        <translation>Cluster %1 bis %2 (%3): %4</translation>
    </message>
    <message>
        <source>Clusters not known</source>
        <translation>Cluster unbekannt</translation>
    </message>
    <message>
        <source>No clusters</source>
        <translation>Keine Cluster</translation>
    </message>
</context>
<context>
    <name>sarvik::app::DeepSearch</name>
    <message>
        <source>Do you want to stop the current process ?</source>
        <translation>Möchten Sie den laufenden Vorgang abbrechen?</translation>
    </message>
</context>
<context>
    <name>sarvik::app::DeepSearchBar</name>
    <message>
        <source>&amp;Deep Search</source>
        <translation>&amp;Tiefensuche</translation>
    </message>
    <message>
        <source>Searches the free space for lost folders and for files by their content</source>
        <translation>Durchsucht den freien Speicher nach verlorenen Ordnern und nach Dateien anhand ihres Inhalts</translation>
    </message>
    <message>
        <source>Stops the deep search; what it found so far is kept</source>
        <translation>Hält die Tiefensuche an; was bisher gefunden wurde, bleibt erhalten</translation>
    </message>
    <message>
        <source>Hide this note</source>
        <translation>Diesen Hinweis ausblenden</translation>
    </message>
    <message>
        <source>Deep search: starting</source>
        <translation>Tiefensuche: wird gestartet</translation>
    </message>
    <message>
        <source>Deep search: </source>
        <translation>Tiefensuche: </translation>
    </message>
    <message>
        <source>Deep search</source>
        <translation>Tiefensuche</translation>
    </message>
    <message>
        <source>Stop deep search</source>
        <translation>Tiefensuche anhalten</translation>
    </message>
</context>
<context>
    <name>sarvik::app::DriveInformationDialog</name>
    <message>
        <source>Drive Information</source>
        <translation>Laufwerksinformationen</translation>
    </message>
    <message>
        <source>File System</source>
        <translation>Dateisystem</translation>
    </message>
    <message>
        <source>Start Sector</source>
        <translation>Startsektor</translation>
    </message>
    <message>
        <source>Directories</source>
        <translation>Verzeichnisse</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>SPC</source>
        <translation>SpC</translation>
    </message>
    <message>
        <source>First FAT</source>
        <translation>Erste FAT</translation>
    </message>
    <message>
        <source>Second FAT</source>
        <translation>Zweite FAT</translation>
    </message>
    <message>
        <source>MFT Start</source>
        <translation>MFT-Beginn</translation>
    </message>
</context>
<context>
    <name>sarvik::app::FileFiltersDialog</name>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>File Filters: Include Only</source>
        <translation>Dateifilter: nur einschließen</translation>
    </message>
    <message>
        <source>Patterns in force</source>
        <translation>Geltende Muster</translation>
    </message>
    <message>
        <source>Only the files whose names match one of these patterns are listed and recovered (* and ? stand for any characters). Enter &amp;Pattern:</source>
        <translation>Nur Dateien, deren Namen zu einem dieser Muster passen, werden aufgelistet und wiederhergestellt (* und ? stehen für beliebige Zeichen). &amp;Muster eingeben:</translation>
    </message>
</context>
<context>
    <name>sarvik::app::FileListModel</name>
    <message>
        <source>Good: none of its clusters is in use by anything else now
Partly overwritten: some of its clusters are in use by something else now
Overwritten: all of its clusters are in use by something else now
Unknown: where its data lies could not be read, so it could not be checked</source>
        <translation>Gut: keiner ihrer Cluster wird jetzt anderweitig belegt
Teilweise überschrieben: einige ihrer Cluster werden jetzt anderweitig belegt
Überschrieben: alle ihre Cluster werden jetzt anderweitig belegt
Unbekannt: wo ihre Daten liegen, konnte nicht gelesen werden, daher war keine Prüfung möglich</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Deleted Folder</source>
        <translation>Gelöschter Ordner</translation>
    </message>
    <message>
        <source>Good</source>
        <translation>Gut</translation>
    </message>
    <message>
        <source>Partly overwritten</source>
        <translation>Teilweise überschrieben</translation>
    </message>
    <message>
        <source>Overwritten</source>
        <translation>Überschrieben</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Deleted %1</source>
        <translation>Gelöscht: %1</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>Erstellt</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Condition</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Each file&apos;s number; a folder&apos;s number begins with D</source>
        <translation>Die Nummer jeder Datei; die Nummer eines Ordners beginnt mit D</translation>
    </message>
</context>
<context>
    <name>sarvik::app::FindFilesDialog</name>
    <message>
        <source>Find File(s)</source>
        <translation>Dateien suchen</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>&amp;Start Search</source>
        <translation>Suche &amp;starten</translation>
    </message>
    <message>
        <source>S&amp;top Search</source>
        <translation>Suche &amp;beenden</translation>
    </message>
    <message>
        <source>Enter pattern to search</source>
        <translation>Suchmuster eingeben</translation>
    </message>
    <message>
        <source>Last File</source>
        <translation>Letzte Datei</translation>
    </message>
    <message>
        <source>Files Found</source>
        <translation>Gefundene Dateien</translation>
    </message>
    <message>
        <source>&amp;Recover...</source>
        <translation>&amp;Wiederherstellen...</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>P&amp;roperties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>&amp;Go to Folder</source>
        <translation>Zum &amp;Ordner wechseln</translation>
    </message>
    <message>
        <source>Do you want to stop file searching ?</source>
        <translation>Möchten Sie die Dateisuche abbrechen?</translation>
    </message>
    <message>
        <source>Name to find</source>
        <translation>Gesuchter Name</translation>
    </message>
    <message>
        <source>A name or a pattern (* and ? as wildcards)</source>
        <translation>Ein Name oder ein Muster (* und ? als Platzhalter)</translation>
    </message>
    <message>
        <source>Files found</source>
        <translation>Gefundene Dateien</translation>
    </message>
</context>
<context>
    <name>sarvik::app::HelpDialog</name>
    <message>
        <source>Velmora Sarvik Undelete Help</source>
        <translation>Hilfe zu Velmora Sarvik Undelete</translation>
    </message>
    <message>
        <source>Help text</source>
        <translation>Hilfetext</translation>
    </message>
</context>
<context>
    <name>sarvik::app::LostVolumeSearchDialog</name>
    <message>
        <source>Search for Lost Volumes</source>
        <translation>Verlorene Volumes suchen</translation>
    </message>
    <message>
        <source>Every sector of %1 is read for the boot sectors of FAT, exFAT and NTFS volumes, and their backups.</source>
        <translation>Jeder Sektor von %1 wird nach den Bootsektoren von FAT-, exFAT- und NTFS-Volumes und deren Sicherungskopien durchsucht.</translation>
    </message>
    <message>
        <source>Starting...</source>
        <translation>Wird gestartet...</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Stopping...</source>
        <translation>Wird angehalten...</translation>
    </message>
    <message>
        <source>%1: cannot be opened</source>
        <translation>%1: lässt sich nicht öffnen</translation>
    </message>
</context>
<context>
    <name>sarvik::app::MessageBox</name>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>&amp;Ok</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>sarvik::app::OpenWithDialog</name>
    <message>
        <source>Open With</source>
        <translation>Öffnen mit</translation>
    </message>
    <message>
        <source>Choose the program to open &quot;%1&quot; with:</source>
        <translation>Wählen Sie das Programm, mit dem „%1“ geöffnet werden soll:</translation>
    </message>
    <message>
        <source>No installed program opens this kind of file (programs that run in a terminal are not listed). Type a command to open it with.</source>
        <translation>Kein installiertes Programm öffnet diese Art von Datei (Programme, die in einem Terminal laufen, werden nicht aufgeführt). Geben Sie einen Befehl ein, mit dem sie geöffnet werden soll.</translation>
    </message>
    <message>
        <source>or type a command</source>
        <translation>oder einen Befehl eingeben</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Command:</source>
        <translation>&amp;Befehl:</translation>
    </message>
    <message>
        <source>Programs</source>
        <translation>Programme</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>Befehl</translation>
    </message>
    <message>
        <source>The command that opens the file; the chosen program&apos;s, or one typed</source>
        <translation>Der Befehl, der die Datei öffnet: der des gewählten Programms oder ein eingegebener</translation>
    </message>
</context>
<context>
    <name>sarvik::app::PreviewPane</name>
    <message>
        <source>the PDF is locked</source>
        <translation>das PDF ist geschützt</translation>
    </message>
    <message>
        <source>the PDF could not be read</source>
        <translation>das PDF konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>the PDF has no page that can be read</source>
        <translation>das PDF hat keine lesbare Seite</translation>
    </message>
    <message>
        <source>the first page could not be drawn</source>
        <translation>die erste Seite konnte nicht dargestellt werden</translation>
    </message>
    <message>
        <source>this build shows no PDF pages</source>
        <translation>diese Ausgabe des Programms zeigt keine PDF-Seiten</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Hex</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>Show the file as what it holds, or as hex</source>
        <translation>Die Datei nach ihrem Inhalt oder als Hexadezimalwerte anzeigen</translation>
    </message>
    <message>
        <source>Read &amp;all</source>
        <translation>&amp;Alles lesen</translation>
    </message>
    <message>
        <source>The preview reads the first 16 MiB; read the whole file (up to 1 GiB)</source>
        <translation>Die Vorschau liest die ersten 16 MiB; die ganze Datei lesen (bis zu 1 GiB)</translation>
    </message>
    <message>
        <source>Reading...</source>
        <translation>Wird gelesen...</translation>
    </message>
    <message>
        <source>Nothing of the file could be read.</source>
        <translation>Von der Datei konnte nichts gelesen werden.</translation>
    </message>
    <message>
        <source>Page 1 of %L1</source>
        <translation>Seite 1 von %L1</translation>
    </message>
    <message>
        <source>No page shown: %1.</source>
        <translation>Keine Seite angezeigt: %1.</translation>
    </message>
    <message>
        <source>The picture could not be decoded: %1</source>
        <translation>Das Bild konnte nicht dekodiert werden: %1</translation>
    </message>
    <message>
        <source>the file&apos;s data ends at byte %L1</source>
        <translation>die Daten der Datei enden bei Byte %L1</translation>
    </message>
    <message>
        <source>only the first %L1 bytes were read</source>
        <translation>nur die ersten %L1 Bytes wurden gelesen</translation>
    </message>
    <message>
        <source>Decoded %L1 of %L2 rows: %3.</source>
        <translation>%L1 von %L2 Zeilen dekodiert: %3.</translation>
    </message>
    <message>
        <source>(the first %L1 of %L2 bytes read)
</source>
        <translation>(die ersten %L1 von %L2 Bytes gelesen)
</translation>
    </message>
    <message>
        <source>Not enough memory to read the file for the preview.</source>
        <translation>Nicht genug Arbeitsspeicher, um die Datei für die Vorschau zu lesen.</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Preview as</source>
        <translation>Vorschau als</translation>
    </message>
</context>
<context>
    <name>sarvik::app::PropertiesDialog</name>
    <message>
        <source>File/Folder Properties</source>
        <translation>Eigenschaften von Datei/Ordner</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Contains</source>
        <translation>Enthält</translation>
    </message>
    <message>
        <source>Creation Date</source>
        <translation>Erstellungsdatum</translation>
    </message>
    <message>
        <source>Modification Date</source>
        <translation>Änderungsdatum</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>Size in bytes</source>
        <translation>Größe in Byte</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Condition</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Clusters</source>
        <translation>Cluster</translation>
    </message>
    <message>
        <source>Created</source>
        <translation>Erstellt</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Accessed</source>
        <translation>Letzter Zugriff</translation>
    </message>
    <message>
        <source>Record changed</source>
        <translation>Eintrag geändert</translation>
    </message>
</context>
<context>
    <name>sarvik::app::RecoverySettingsDialog</name>
    <message>
        <source>Recovery Settings</source>
        <translation>Wiederherstellungseinstellungen</translation>
    </message>
    <message>
        <source>Sectors to read in single attempt</source>
        <translation>Sektoren pro Lesevorgang</translation>
    </message>
    <message>
        <source>Setting of duplicate file(s)</source>
        <translation>Umgang mit doppelten Dateien</translation>
    </message>
    <message>
        <source>Rename duplicate file(s)</source>
        <translation>Doppelte Dateien umbenennen</translation>
    </message>
    <message>
        <source>Overwrite duplicate file(s)</source>
        <translation>Doppelte Dateien überschreiben</translation>
    </message>
    <message>
        <source>Skip duplicate file(s)</source>
        <translation>Doppelte Dateien überspringen</translation>
    </message>
    <message>
        <source>Setting for bad sectors</source>
        <translation>Umgang mit fehlerhaften Sektoren</translation>
    </message>
    <message>
        <source>Number of retries on bad sector(s)</source>
        <translation>Wiederholungen bei fehlerhaften Sektoren</translation>
    </message>
    <message>
        <source>Thorough scan (read whole folders)</source>
        <translation>Gründliche Suche (ganze Ordner lesen)</translation>
    </message>
    <message>
        <source>Search free space (deep scan)</source>
        <translation>Freien Speicher durchsuchen (Tiefensuche)</translation>
    </message>
    <message>
        <source>After every scan, search the free space too: lost folders, and files by their content. It reads all of the free space, which takes long on a large device.</source>
        <translation>Nach jeder Suche auch den freien Speicher durchsuchen: nach verlorenen Ordnern und nach Dateien anhand ihres Inhalts. Dabei wird der gesamte freie Speicher gelesen, was auf einem großen Datenträger lange dauert.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>sarvik::app::RecoveryWindow</name>
    <message>
        <source>Volume Label</source>
        <translation>Volumebezeichnung</translation>
    </message>
    <message>
        <source>Capacity	</source>
        <translation>Kapazität	</translation>
    </message>
    <message>
        <source>Sector Per Cluster</source>
        <translation>Sektoren pro Cluster</translation>
    </message>
    <message>
        <source>Byte Per Sector</source>
        <translation>Bytes pro Sektor</translation>
    </message>
    <message>
        <source>File System</source>
        <translation>Dateisystem</translation>
    </message>
    <message>
        <source>1. Select the Logical Drive that contains the deleted file(s).<byte value="xd"/>
</source>
        <translation>1. Wählen Sie das logische Laufwerk, das die gelöschten Dateien enthält.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>2. Click Next Button.</source>
        <translation>2. Klicken Sie auf „Weiter“.</translation>
    </message>
    <message>
        <source>My Computer</source>
        <translation>Arbeitsplatz</translation>
    </message>
    <message>
        <source>%1 was not opened for you. The system&apos;s disk manager (UDisks2) said: %2</source>
        <translation>%1 wurde nicht für Sie geöffnet. Die Datenträgerverwaltung des Systems (UDisks2) meldete: %2</translation>
    </message>
    <message>
        <source>You may not read %1, and the system&apos;s disk manager (UDisks2), which opens disks for you after asking for your password, does not run here (or does not know the disk).

Start Velmora Sarvik Undelete again as the administrator? You will be asked for the administrator&apos;s password.</source>
        <translation>Sie dürfen %1 nicht lesen, und die Datenträgerverwaltung des Systems (UDisks2), die Datenträger nach Abfrage Ihres Passworts für Sie öffnet, läuft hier nicht (oder kennt den Datenträger nicht).

Velmora Sarvik Undelete als Administrator neu starten? Sie werden nach dem Administratorpasswort gefragt.</translation>
    </message>
    <message>
        <source>pkexec is not installed. Install the pkexec package, or start the program as root.</source>
        <translation>pkexec ist nicht installiert. Installieren Sie das Paket pkexec oder starten Sie das Programm als root.</translation>
    </message>
    <message>
        <source>pkexec could not be started.</source>
        <translation>pkexec konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Not listed:
</source>
        <translation>Nicht aufgeführt:
</translation>
    </message>
    <message>
        <source>Not ready: the file is empty.</source>
        <translation>Nicht bereit: die Datei ist leer.</translation>
    </message>
    <message>
        <source>Not ready: %1.</source>
        <translation>Nicht bereit: %1.</translation>
    </message>
    <message>
        <source>Note: %1.</source>
        <translation>Hinweis: %1.</translation>
    </message>
    <message>
        <source>; stored %1</source>
        <translation>; gespeichert %1</translation>
    </message>
    <message>
        <source>Container: %1.</source>
        <translation>Container: %1.</translation>
    </message>
    <message>
        <source>Warning: mounted read-write at %1: anything written while you work can overwrite deleted files; unmount it or remount it read-only.</source>
        <translation>Warnung: mit Schreibzugriff eingehängt unter %1: alles, was während Ihrer Arbeit geschrieben wird, kann gelöschte Dateien überschreiben; hängen Sie das Laufwerk aus oder hängen Sie es schreibgeschützt neu ein.</translation>
    </message>
    <message>
        <source>Choose the disk or disk image to search in the drive list first.</source>
        <translation>Wählen Sie zuerst in der Laufwerksliste den Datenträger oder das Datenträgerabbild, das durchsucht werden soll.</translation>
    </message>
    <message>
        <source>No lost volume was found on %1.</source>
        <translation>Auf %1 wurde kein verlorenes Volume gefunden.</translation>
    </message>
    <message numerus="yes">
        <source>%n volume(s) found on %1; %2 added to the drive list.</source>
        <translation>
            <numerusform>%n Volume auf %1 gefunden; %2 zur Laufwerksliste hinzugefügt.</numerusform>
            <numerusform>%n Volumes auf %1 gefunden; %2 zur Laufwerksliste hinzugefügt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Stopped before the end of the disk. </source>
        <translation>Vor dem Ende des Datenträgers angehalten. </translation>
    </message>
    <message numerus="yes">
        <source>
%1 sector(s) could not be read.</source>
        <translation>
            <numerusform>
%1 Sektor konnte nicht gelesen werden.</numerusform>
            <numerusform>
%1 Sektoren konnten nicht gelesen werden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Root</source>
        <translation>Stammverzeichnis</translation>
    </message>
    <message>
        <source>%1 does not exist.</source>
        <translation>%1 existiert nicht.</translation>
    </message>
    <message>
        <source>%1 is a folder. Choose a disk image file or a device.</source>
        <translation>%1 ist ein Ordner. Wählen Sie eine Abbilddatei oder ein Gerät.</translation>
    </message>
    <message>
        <source>%1 is neither a disk image file nor a block device.</source>
        <translation>%1 ist weder eine Abbilddatei noch ein Blockgerät.</translation>
    </message>
    <message>
        <source>Go to next step</source>
        <translation>Zum nächsten Schritt</translation>
    </message>
    <message>
        <source>Stops the current process</source>
        <translation>Hält den laufenden Vorgang an</translation>
    </message>
    <message>
        <source>Go to previous step</source>
        <translation>Zum vorherigen Schritt</translation>
    </message>
    <message>
        <source>Click here to visit software home page</source>
        <translation>Hier klicken, um die Webseite des Programms zu besuchen</translation>
    </message>
    <message>
        <source>Mounting volume, please wait...</source>
        <translation>Volume wird eingebunden, bitte warten...</translation>
    </message>
    <message>
        <source>Please select the file(s) and folder(s) to recover from right pane and copy using</source>
        <translation>Wählen Sie rechts die Dateien und Ordner und kopieren Sie sie mit</translation>
    </message>
    <message>
        <source>Recover Selected</source>
        <translation>Ausgewählte wiederherstellen</translation>
    </message>
    <message>
        <source>or</source>
        <translation>oder</translation>
    </message>
    <message>
        <source>Recover All options from the Recovery Menu.<byte value="xd"/>
</source>
        <translation>Alle wiederherstellen im Menü Wiederherstellung.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>You can open a file by Double Clicking it.</source>
        <translation>Eine Datei öffnen Sie mit einem Doppelklick.</translation>
    </message>
    <message>
        <source>Stopped: results are partial</source>
        <translation>Angehalten: die Ergebnisse sind unvollständig</translation>
    </message>
    <message>
        <source>%1 sector(s) and %2 MFT record(s) could not be read. What they held is missing from the list.</source>
        <translation>%1 Sektor(en) und %2 MFT-Datensätze konnten nicht gelesen werden. Was sie enthielten, fehlt in der Liste.</translation>
    </message>
    <message>
        <source>Classic scan</source>
        <translation>Klassische Suche</translation>
    </message>
    <message>
        <source>Thorough scan,
free space searched</source>
        <translation>Gründliche Suche
und Tiefensuche</translation>
    </message>
    <message>
        <source>Thorough scan</source>
        <translation>Gründliche Suche</translation>
    </message>
    <message>
        <source>File filter in force: only files named %1 are listed and recovered</source>
        <translation>Dateifilter aktiv: nur %1 (Anzeige und Wiederherstellung)</translation>
    </message>
    <message>
        <source>Folder(s) Found</source>
        <translation>Gefundene Ordner</translation>
    </message>
    <message>
        <source>File(s) Found</source>
        <translation>Gefundene Dateien</translation>
    </message>
    <message>
        <source>Current Sector</source>
        <translation>Aktueller Sektor</translation>
    </message>
    <message>
        <source>Last File/Folder</source>
        <translation>Letzte Datei/Ordner</translation>
    </message>
    <message>
        <source>Sarvik is searching the data of the selected partition, once this process is completed it will show you all the</source>
        <translation>Sarvik durchsucht die Daten der gewählten Partition. Wenn der Vorgang abgeschlossen ist, zeigt es Ihnen alle</translation>
    </message>
    <message>
        <source>deleted file(s).</source>
        <translation>gelöschten Dateien.</translation>
    </message>
    <message>
        <source>Do you want to stop the current process ?</source>
        <translation>Möchten Sie den laufenden Vorgang abbrechen?</translation>
    </message>
    <message>
        <source>Do you really want to exit ?</source>
        <translation>Möchten Sie das Programm wirklich beenden?</translation>
    </message>
    <message>
        <source>Updates of Velmora Sarvik Undelete come through your system&apos;s package manager: update the package there to get the latest version.</source>
        <translation>Aktualisierungen von Velmora Sarvik Undelete kommen über die Paketverwaltung Ihres Systems: aktualisieren Sie dort das Paket, um die neueste Version zu erhalten.</translation>
    </message>
    <message>
        <source>Velmora Sarvik Undelete %1

Brings back deleted files and folders from FAT12, FAT16, FAT32, exFAT and NTFS volumes.
Copyright 2026 Velmora.

This program is free software: you can redistribute it and/or modify it under the terms of the GNU General Public License as published by the Free Software Foundation, either version 3 of the License, or (at your option) any later version (GPL-3.0-or-later). It comes with ABSOLUTELY NO WARRANTY. The licence&apos;s text: /usr/share/common-licenses/GPL-3, or &lt;https://www.gnu.org/licenses/gpl-3.0.html&gt;.</source>
        <translation>Velmora Sarvik Undelete %1

Stellt gelöschte Dateien und Ordner von FAT12-, FAT16-, FAT32-, exFAT- und NTFS-Volumes wieder her.
Copyright 2026 Velmora.

Dieses Programm ist freie Software: Sie können es unter den Bedingungen der GNU General Public License, wie von der Free Software Foundation veröffentlicht, weitergeben und/oder verändern, entweder gemäß Version 3 der Lizenz oder (nach Ihrer Wahl) jeder späteren Version (GPL-3.0-or-later). Es wird OHNE JEDE GEWÄHRLEISTUNG bereitgestellt. Der Text der Lizenz: /usr/share/common-licenses/GPL-3 oder &lt;https://www.gnu.org/licenses/gpl-3.0.html&gt;.</translation>
    </message>
    <message>
        <source>About Velmora Sarvik</source>
        <translation>Über Velmora Sarvik</translation>
    </message>
    <message>
        <source>Add Disk Image</source>
        <translation>Datenträgerabbild hinzufügen</translation>
    </message>
    <message>
        <source>Disk images (*.img *.dd *.raw *.bin *.iso *.001 *.E01 *.vhd *.vhdx *.vmdk *.qcow2 *.qcow)</source>
        <translation>Datenträgerabbilder (*.img *.dd *.raw *.bin *.iso *.001 *.E01 *.vhd *.vhdx *.vmdk *.qcow2 *.qcow)</translation>
    </message>
    <message>
        <source>EnCase images (*.E01)</source>
        <translation>EnCase-Abbilder (*.E01)</translation>
    </message>
    <message>
        <source>Virtual machine disks (*.vhd *.vhdx *.vmdk *.qcow2 *.qcow)</source>
        <translation>Festplatten virtueller Maschinen (*.vhd *.vhdx *.vmdk *.qcow2 *.qcow)</translation>
    </message>
    <message>
        <source>Split raw images, first piece (*.001)</source>
        <translation>Geteilte Rohabbilder, erster Teil (*.001)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(keine)</translation>
    </message>
    <message>
        <source>&amp;Clear List</source>
        <translation>Liste &amp;leeren</translation>
    </message>
    <message>
        <source>&amp;Recovery</source>
        <translation>&amp;Wiederherstellung</translation>
    </message>
    <message>
        <source>&amp;Recover Selected...</source>
        <translation>Ausgewählte &amp;wiederherstellen...</translation>
    </message>
    <message>
        <source>Recover &amp;All...</source>
        <translation>&amp;Alle wiederherstellen...</translation>
    </message>
    <message>
        <source>&amp;Save Recovery Snapshot...</source>
        <translation>Wiederherstellungs-&amp;Schnappschuss speichern...</translation>
    </message>
    <message>
        <source>&amp;Load Recovery Snapshot...</source>
        <translation>Wiederherstellungs-Schnappschuss &amp;laden...</translation>
    </message>
    <message>
        <source>Add &amp;Disk Image...</source>
        <translation>&amp;Datenträgerabbild hinzufügen...</translation>
    </message>
    <message>
        <source>Recent &amp;Images</source>
        <translation>&amp;Zuletzt verwendete Abbilder</translation>
    </message>
    <message>
        <source>E&amp;xit...</source>
        <translation>&amp;Beenden...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Ico&amp;ns</source>
        <translation>&amp;Symbole</translation>
    </message>
    <message>
        <source>&amp;List</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>&amp;Thumbnails</source>
        <translation>&amp;Miniaturansichten</translation>
    </message>
    <message>
        <source>&amp;Preview</source>
        <translation>&amp;Vorschau</translation>
    </message>
    <message>
        <source>Show &amp;Existing Files</source>
        <translation>Vorhandene Dateien &amp;einblenden</translation>
    </message>
    <message>
        <source>List the files that are not deleted too (thorough scans)</source>
        <translation>Auch die nicht gelöschten Dateien auflisten (gründliche Suchen)</translation>
    </message>
    <message>
        <source>&amp;Back</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Extras</translation>
    </message>
    <message>
        <source>&amp;Find Files...</source>
        <translation>Dateien &amp;suchen...</translation>
    </message>
    <message>
        <source>Deep &amp;Search</source>
        <translation>&amp;Tiefensuche</translation>
    </message>
    <message>
        <source>File Fi&amp;lters...</source>
        <translation>Datei&amp;filter...</translation>
    </message>
    <message>
        <source>Se&amp;ttings...</source>
        <translation>&amp;Einstellungen...</translation>
    </message>
    <message>
        <source>&amp;Drive Information</source>
        <translation>&amp;Laufwerksinformationen</translation>
    </message>
    <message>
        <source>Search for Lost &amp;Volumes...</source>
        <translation>&amp;Verlorene Volumes suchen...</translation>
    </message>
    <message>
        <source>Live &amp;Update</source>
        <translation>Online-&amp;Aktualisierung</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;About Velmora Sarvik...</source>
        <translation>Ü&amp;ber Velmora Sarvik...</translation>
    </message>
    <message>
        <source>Copy the selected file(s) and folder(s) to your computer</source>
        <translation>Die ausgewählten Dateien und Ordner auf Ihren Computer kopieren</translation>
    </message>
    <message>
        <source>Copy all the file(s) and folder(s) to your computer</source>
        <translation>Alle Dateien und Ordner auf Ihren Computer kopieren</translation>
    </message>
    <message>
        <source>Saves the snapshot of scan information, so that later on you need not to scan the disk again</source>
        <translation>Speichert einen Schnappschuss der Suchergebnisse, damit der Datenträger später nicht noch einmal durchsucht werden muss</translation>
    </message>
    <message>
        <source>Loads the data from previously saved scan information</source>
        <translation>Lädt die Daten aus zuvor gespeicherten Suchergebnissen</translation>
    </message>
    <message>
        <source>Search the file(s) in the recovered data</source>
        <translation>Dateien in den gefundenen Daten suchen</translation>
    </message>
    <message>
        <source>Searches the free space for lost folders and for files by their content</source>
        <translation>Durchsucht den freien Speicher nach verlorenen Ordnern und nach Dateien anhand ihres Inhalts</translation>
    </message>
    <message>
        <source>Configures the software</source>
        <translation>Richtet das Programm ein</translation>
    </message>
    <message>
        <source>Updates the software with latest changes from internet</source>
        <translation>Aktualisiert das Programm mit den neuesten Änderungen aus dem Internet</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>Home page</source>
        <translation>Startseite</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Go to the next step (Enter in the drive list, or Alt+Right)</source>
        <translation>Zum nächsten Schritt (Eingabetaste in der Laufwerksliste oder Alt+Rechts)</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Go to the previous step (Alt+Left)</source>
        <translation>Zum vorigen Schritt (Alt+Links)</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Stop the current process (Esc)</source>
        <translation>Den laufenden Vorgang anhalten (Esc)</translation>
    </message>
    <message>
        <source>Drives</source>
        <translation>Laufwerke</translation>
    </message>
    <message>
        <source>The drives and disk images to search for deleted files</source>
        <translation>Die Laufwerke und Datenträgerabbilder, die nach gelöschten Dateien durchsucht werden können</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>The folders found on the drive</source>
        <translation>Die auf dem Laufwerk gefundenen Ordner</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>The files and folders of the open folder</source>
        <translation>Die Dateien und Ordner des geöffneten Ordners</translation>
    </message>
    <message>
        <source>The files of the open folder as pictures</source>
        <translation>Die Dateien des geöffneten Ordners als Bilder</translation>
    </message>
    <message>
        <source>Divider between folders and files</source>
        <translation>Trennlinie zwischen Ordnern und Dateien</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Shadow copy %1 (%2)</source>
        <translation>Schattenkopie %1 (%2)</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>Previous versions</source>
        <translation>Vorgängerversionen</translation>
    </message>
    <message numerus="yes">
        <source>This volume has %n shadow copy(s): Previous versions adds the files they hold that it no longer does.</source>
        <translation>
            <numerusform>Dieses Volume hat %n Schattenkopie: „Vorgängerversionen“ fügt die Dateien hinzu, die sie noch enthält, das Volume aber nicht mehr.</numerusform>
            <numerusform>Dieses Volume hat %n Schattenkopien: „Vorgängerversionen“ fügt die Dateien hinzu, die sie noch enthalten, das Volume aber nicht mehr.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n previous version(s) added from the shadow copies, each whole in its copy.</source>
        <translation>
            <numerusform>%n Vorgängerversion aus den Schattenkopien hinzugefügt, vollständig in ihrer Kopie.</numerusform>
            <numerusform>%n Vorgängerversionen aus den Schattenkopien hinzugefügt, jede vollständig in ihrer Kopie.</numerusform>
        </translation>
    </message>
    <message>
        <source>C&amp;olours</source>
        <translation>&amp;Farben</translation>
    </message>
    <message>
        <source>Follow the &amp;System</source>
        <translation>&amp;System folgen</translation>
    </message>
    <message>
        <source>&amp;Light</source>
        <translation>&amp;Hell</translation>
    </message>
    <message>
        <source>&amp;Dark</source>
        <translation>&amp;Dunkel</translation>
    </message>
    <message>
        <source>NOT READY</source>
        <translation>NICHT BEREIT</translation>
    </message>
    <message>
        <source>The search for lost volumes cannot read %1.
%2</source>
        <translation>Die Suche nach verlorenen Volumes kann %1 nicht lesen.
%2</translation>
    </message>
</context>
<context>
    <name>sarvik::app::ResultsCommands</name>
    <message>
        <source>The volume %1 of this snapshot cannot be opened, so no file data can be read: nothing was written. Connect the volume (or put the image back where it was) and load the snapshot again.</source>
        <translation>Das Volume %1 dieses Schnappschusses kann nicht geöffnet werden, daher können keine Dateidaten gelesen werden: es wurde nichts geschrieben. Schließen Sie das Volume an (oder legen Sie das Abbild wieder an seinen Ort) und laden Sie den Schnappschuss erneut.</translation>
    </message>
    <message>
        <source>%1 does not exist.</source>
        <translation>%1 existiert nicht.</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 ist kein Ordner.</translation>
    </message>
    <message>
        <source>%1 cannot be written to: you may not create files in it, or it is on a read-only volume.</source>
        <translation>In %1 kann nicht geschrieben werden: Sie dürfen dort keine Dateien anlegen, oder es liegt auf einem schreibgeschützten Volume.</translation>
    </message>
    <message>
        <source>Please select the path to recover the data</source>
        <translation>Bitte wählen Sie den Pfad, in dem die Daten wiederhergestellt werden sollen</translation>
    </message>
    <message>
        <source>The destination</source>
        <translation>Das Ziel</translation>
    </message>
    <message>
        <source>

Please choose another folder.</source>
        <translation>

Bitte wählen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>No file or folder is selected. Select the files and folders to recover in the list, or use Recover All.</source>
        <translation>Keine Datei und kein Ordner ausgewählt. Wählen Sie in der Liste die Dateien und Ordner, die wiederhergestellt werden sollen, oder verwenden Sie „Alle wiederherstellen“.</translation>
    </message>
    <message>
        <source>Unable to use the folder %1: %2</source>
        <translation>Der Ordner %1 kann nicht verwendet werden: %2</translation>
    </message>
    <message>
        <source>Save the list of recovered files</source>
        <translation>Liste der wiederhergestellten Dateien speichern</translation>
    </message>
    <message>
        <source>JSON lines (*.jsonl)</source>
        <translation>JSON-Zeilen (*.jsonl)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The list</source>
        <translation>Die Liste</translation>
    </message>
    <message>
        <source>Unable to save the list to %1: %2</source>
        <translation>Die Liste kann nicht unter %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Save &amp;List...</source>
        <translation>&amp;Liste speichern...</translation>
    </message>
    <message>
        <source>Open &amp;Folder</source>
        <translation>&amp;Ordner öffnen</translation>
    </message>
    <message>
        <source>No program of the desktop opened the folder %1.</source>
        <translation>Kein Programm der Arbeitsumgebung hat den Ordner %1 geöffnet.</translation>
    </message>
    <message>
        <source>Unable to create a temporary folder</source>
        <translation>Es kann kein temporärer Ordner angelegt werden</translation>
    </message>
    <message>
        <source>Unable to start %1</source>
        <translation>%1 kann nicht gestartet werden</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Open &amp;With...</source>
        <translation>Öffnen &amp;mit...</translation>
    </message>
    <message>
        <source>&amp;Recover Selected...</source>
        <translation>Ausgewählte &amp;wiederherstellen...</translation>
    </message>
    <message>
        <source>Recover &amp;All...</source>
        <translation>&amp;Alle wiederherstellen...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>A&amp;nsicht</translation>
    </message>
    <message>
        <source>Ico&amp;ns     </source>
        <translation>&amp;Symbole     </translation>
    </message>
    <message>
        <source>&amp;List</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>&amp;Find Files...</source>
        <translation>Dateien &amp;suchen...</translation>
    </message>
    <message>
        <source>Re&amp;name</source>
        <translation>&amp;Umbenennen</translation>
    </message>
    <message>
        <source>&amp;Settings...</source>
        <translation>&amp;Einstellungen...</translation>
    </message>
    <message>
        <source>&amp;Properties...</source>
        <translation>Ei&amp;genschaften...</translation>
    </message>
    <message>
        <source>Save Recovery Snapshot</source>
        <translation>Wiederherstellungs-Schnappschuss speichern</translation>
    </message>
    <message>
        <source>Load Recovery Snapshot</source>
        <translation>Wiederherstellungs-Schnappschuss laden</translation>
    </message>
    <message>
        <source>The snapshot</source>
        <translation>Der Schnappschuss</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 existiert bereits.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>The snapshot could not be saved. %1</source>
        <translation>Der Schnappschuss konnte nicht gespeichert werden. %1</translation>
    </message>
    <message>
        <source>
The list shows what it holds; files missing from it may still be on the volume.</source>
        <translation>
Die Liste zeigt, was er enthält; Dateien, die darin fehlen, können trotzdem noch auf dem Volume sein.</translation>
    </message>
    <message>
        <source>The volume %1 of this snapshot cannot be opened; files cannot be recovered from it until it is available.</source>
        <translation>Das Volume %1 dieses Schnappschusses kann nicht geöffnet werden; solange es nicht verfügbar ist, können keine Dateien daraus wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>The volume at %1 does not match the snapshot; recovered files may hold other data:
%2</source>
        <translation>Das Volume unter %1 passt nicht zum Schnappschuss; wiederhergestellte Dateien können andere Daten enthalten:
%2</translation>
    </message>
    <message>
        <source>The file filter in force hides this file. Lift the filter and show it?</source>
        <translation>Der geltende Dateifilter blendet diese Datei aus. Filter aufheben und die Datei zeigen?</translation>
    </message>
    <message>
        <source>Recovery Snapshot (*.rvu *.RVU *.rvsx *.RVSX)</source>
        <translation>Wiederherstellungs-Schnappschuss (*.rvu *.RVU *.rvsx *.RVSX)</translation>
    </message>
    <message>
        <source>Snapshot saved as %1</source>
        <translation>Schnappschuss gespeichert als %1</translation>
    </message>
</context>
<context>
    <name>sarvik::app::SavingDialog</name>
    <message>
        <source>Copying the file to open it</source>
        <translation>Die Datei wird zum Öffnen kopiert</translation>
    </message>
    <message>
        <source>Saving the data please wait</source>
        <translation>Die Daten werden gespeichert, bitte warten</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Total Files</source>
        <translation>Dateien insgesamt</translation>
    </message>
    <message>
        <source>&amp;Stop Saving</source>
        <translation>Speichern &amp;beenden</translation>
    </message>
    <message>
        <source>S&amp;kip File</source>
        <translation>Datei über&amp;springen</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
</context>
<context>
    <name>sarvik::app::SourceGuard</name>
    <message>
        <source>%1 is on the volume being recovered: writing there can overwrite the files you want back. Choose a folder on another drive.</source>
        <translation>%1 liegt auf dem Volume, das wiederhergestellt wird: dort zu schreiben kann die Dateien überschreiben, die Sie zurückhaben möchten. Wählen Sie einen Ordner auf einem anderen Laufwerk.</translation>
    </message>
    <message>
        <source>%1 is on another partition of the disk being recovered. That partition is not written, but a failing disk is best left alone.</source>
        <translation>%1 liegt auf einer anderen Partition des Datenträgers, der wiederhergestellt wird. Diese Partition wird nicht beschrieben, aber einen ausfallenden Datenträger lässt man am besten in Ruhe.</translation>
    </message>
</context>
<context>
    <name>sarvik::app::SplitHandle</name>
    <message>
        <source>Drag to share the room between the folders and the files</source>
        <translation>Ziehen, um den Platz zwischen Ordnern und Dateien aufzuteilen</translation>
    </message>
</context>
<context>
    <name>sarvik::app::UDisksClient</name>
    <message>
        <source>UDisks2 does not run on the system bus</source>
        <translation>UDisks2 läuft nicht auf dem Systembus</translation>
    </message>
    <message>
        <source>UDisks2 does not know %1</source>
        <translation>UDisks2 kennt %1 nicht</translation>
    </message>
    <message>
        <source>UDisks2 answered without a file descriptor</source>
        <translation>UDisks2 hat ohne Dateideskriptor geantwortet</translation>
    </message>
</context>
<context>
    <name>sarvik::app::ValueWords</name>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 File(s) and %2 Folder(s)</source>
        <translation>%1 Datei(en) und %2 Ordner</translation>
    </message>
    <message>
        <source>Less than 1 MB</source>
        <translation>Weniger als 1 MB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 MB ( Approx )</source>
        <translation>%1 MB ( ca. )</translation>
    </message>
    <message>
        <source>cannot open it: %1</source>
        <translation>lässt sich nicht öffnen: %1</translation>
    </message>
    <message>
        <source>unknown reason</source>
        <translation>unbekannter Grund</translation>
    </message>
    <message>
        <source>its boot sector cannot be read (I/O error), nor a backup of it</source>
        <translation>sein Bootsektor ist nicht lesbar (E/A-Fehler), eine Sicherung davon ebenso wenig</translation>
    </message>
    <message>
        <source>a disk whose GPT partition table names no partition: there is no volume to read</source>
        <translation>ein Datenträger, dessen GPT-Partitionstabelle keine Partition nennt: es gibt kein Volume zu lesen</translation>
    </message>
    <message>
        <source>not a FAT12, FAT16, FAT32, exFAT or NTFS volume but a %1 file: decompress it and open what comes out</source>
        <translation>kein FAT12-, FAT16-, FAT32-, exFAT- oder NTFS-Volume, sondern eine %1-Datei: entpacken Sie sie und öffnen Sie das Ergebnis</translation>
    </message>
    <message>
        <source>not a FAT12, FAT16, FAT32, exFAT or NTFS volume</source>
        <translation>kein FAT12-, FAT16-, FAT32-, exFAT- oder NTFS-Volume</translation>
    </message>
    <message>
        <source>a geometry these rules do not read: %1</source>
        <translation>eine Geometrie, die diese Regeln nicht lesen: %1</translation>
    </message>
    <message>
        <source>geometry rebuilt from the allocation tables and folders; the boot sector is gone and has no backup</source>
        <translation>Geometrie aus den Belegungstabellen und Ordnern wiederhergestellt; der Bootsektor fehlt und hat keine Sicherung</translation>
    </message>
    <message>
        <source>read from the backup boot sector (sector %1); the main one cannot be read or is damaged</source>
        <translation>aus dem Sicherungs-Bootsektor gelesen (Sektor %1); der eigentliche ist nicht lesbar oder beschädigt</translation>
    </message>
    <message>
        <source>the image ends at sector %1 of the volume&apos;s %2: %3 (%4%) is missing</source>
        <translation>das Abbild endet bei Sektor %1 von %2 des Volumes: %3 (%4 %) fehlen</translation>
    </message>
    <message>
        <source>Free space holds data no entry names (%1 of %2 sampled clusters)</source>
        <translation>Der freie Speicher enthält Daten, die kein Eintrag nennt (%1 von %2 geprüften Clustern)</translation>
    </message>
    <message>
        <source>, and the MFT records of an earlier file system (a quick format leaves them behind)</source>
        <translation>, dazu MFT-Datensätze eines früheren Dateisystems (eine Schnellformatierung lässt sie zurück)</translation>
    </message>
    <message>
        <source>%1 to read</source>
        <translation>%1 zu lesen</translation>
    </message>
    <message>
        <source>; a rough guess at this device&apos;s speed: under a second</source>
        <translation>; grob geschätzt bei der Geschwindigkeit dieses Geräts: unter einer Sekunde</translation>
    </message>
    <message>
        <source>; a rough guess at this device&apos;s speed: about %1</source>
        <translation>; grob geschätzt bei der Geschwindigkeit dieses Geräts: etwa %1</translation>
    </message>
    <message>
        <source>%1. Deep Search reads it: %2.</source>
        <translation>%1. Die Tiefensuche liest sie: %2.</translation>
    </message>
    <message>
        <source>%1 of %2 bytes</source>
        <translation>%1 von %2 Byte</translation>
    </message>
    <message>
        <source>%1 unreadable block(s) written as zeros</source>
        <translation>%1 unlesbare(r) Block/Blöcke als Nullen geschrieben</translation>
    </message>
    <message>
        <source>incomplete: %1</source>
        <translation>unvollständig: %1</translation>
    </message>
    <message>
        <source>cut short at %1</source>
        <translation>abgebrochen bei %1</translation>
    </message>
    <message>
        <source>incomplete: %1 written, the data ends there</source>
        <translation>unvollständig: %1 geschrieben, dort enden die Daten</translation>
    </message>
    <message>
        <source>cut at the volume&apos;s end after %1: the rest would lie past its last cluster</source>
        <translation>am Ende des Volumes nach %1 abgeschnitten: der Rest läge hinter seinem letzten Cluster</translation>
    </message>
    <message>
        <source>incomplete: writing failed after %1</source>
        <translation>unvollständig: Schreiben nach %1 fehlgeschlagen</translation>
    </message>
    <message>
        <source>not written: could not be created</source>
        <translation>nicht geschrieben: konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>not written: its MFT record could not be read</source>
        <translation>nicht geschrieben: sein MFT-Datensatz war nicht lesbar</translation>
    </message>
    <message>
        <source>not written: no data left to copy</source>
        <translation>nicht geschrieben: keine Daten mehr zu kopieren</translation>
    </message>
    <message>
        <source>not written</source>
        <translation>nicht geschrieben</translation>
    </message>
    <message>
        <source>%1: written from %2 cluster(s) now in use by other files</source>
        <translation>%1: aus %2 Cluster(n) geschrieben, die jetzt von anderen Dateien belegt sind</translation>
    </message>
    <message>
        <source>%1: folder could not be created</source>
        <translation>%1: Ordner konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>Unable to open the file</source>
        <translation>Die Datei lässt sich nicht öffnen</translation>
    </message>
    <message>
        <source>    Invalid version of the file found : %1</source>
        <translation>    Ungültige Dateiversion gefunden: %1</translation>
    </message>
    <message>
        <source>              version of file does not match with current version 1.0</source>
        <translation>              Die Dateiversion passt nicht zur aktuellen Version 1.0</translation>
    </message>
    <message>
        <source>The snapshot is damaged: %1</source>
        <translation>Der Schnappschuss ist beschädigt: %1</translation>
    </message>
    <message>
        <source>%1 (%2 of %3 clusters in use by something else)</source>
        <translation>%1 (%2 von %3 Clustern von etwas anderem belegt)</translation>
    </message>
    <message>
        <source>from cluster %1, by the FAT&apos;s chain (consecutive clusters where it holds none)</source>
        <translation>ab Cluster %1, entlang der FAT-Kette (fortlaufende Cluster, wo sie keine enthält)</translation>
    </message>
    <message>
        <source>from cluster %1, consecutive clusters</source>
        <translation>ab Cluster %1, fortlaufende Cluster</translation>
    </message>
    <message>
        <source>from cluster %1, consecutive clusters (found by content)</source>
        <translation>ab Cluster %1, fortlaufende Cluster (am Inhalt erkannt)</translation>
    </message>
    <message>
        <source>MFT record %1, data inside the record</source>
        <translation>MFT-Datensatz %1, Daten im Datensatz selbst</translation>
    </message>
    <message>
        <source>%1 sparse</source>
        <translation>%1 ohne Daten (sparse)</translation>
    </message>
    <message>
        <source>%1 (missing)</source>
        <translation>%1 (fehlt)</translation>
    </message>
    <message>
        <source>MFT record %1</source>
        <translation>MFT-Datensatz %1</translation>
    </message>
    <message>
        <source>MFT record %1; clusters %2</source>
        <translation>MFT-Datensatz %1; Cluster %2</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Zugriff verweigert</translation>
    </message>
    <message>
        <source>Operation not permitted</source>
        <translation>Vorgang nicht zulässig</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>Kein Speicherplatz mehr auf dem Gerät</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>Datei oder Verzeichnis nicht gefunden</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>Dateisystem nur lesbar</translation>
    </message>
    <message>
        <source>Input/output error</source>
        <translation>Ein-/Ausgabefehler</translation>
    </message>
    <message>
        <source>folder record %1 of %2</source>
        <translation>Ordnerdatensatz %1 von %2</translation>
    </message>
    <message>
        <source>file record %1 of %2</source>
        <translation>Dateidatensatz %1 von %2</translation>
    </message>
    <message>
        <source>the file ends before %1</source>
        <translation>die Datei endet vor %1</translation>
    </message>
    <message>
        <source>%1 has length %2, less than the %3 bytes of its fixed part</source>
        <translation>%1 hat die Länge %2, weniger als die %3 Byte seines festen Teils</translation>
    </message>
    <message>
        <source>%1 has a name of %2 characters (at most %3)</source>
        <translation>%1 hat einen Namen von %2 Zeichen (höchstens %3)</translation>
    </message>
    <message>
        <source>the file ends inside %1</source>
        <translation>die Datei endet innerhalb von %1</translation>
    </message>
    <message>
        <source>the file ends before the folder count</source>
        <translation>die Datei endet vor der Anzahl der Ordner</translation>
    </message>
    <message>
        <source>the file ends before the file count</source>
        <translation>die Datei endet vor der Anzahl der Dateien</translation>
    </message>
    <message>
        <source>the list of files found by their content is damaged</source>
        <translation>die Liste der am Inhalt erkannten Dateien ist beschädigt</translation>
    </message>
    <message>
        <source>the list of named streams is damaged</source>
        <translation>die Liste der benannten Datenströme ist beschädigt</translation>
    </message>
    <message>
        <source>the file ends inside the record of what its scan could not read</source>
        <translation>die Datei endet innerhalb des Eintrags dessen, was ihre Suche nicht lesen konnte</translation>
    </message>
    <message>
        <source>the file ends inside the trailers after its records</source>
        <translation>die Datei endet innerhalb der Anhänge nach ihren Datensätzen</translation>
    </message>
    <message>
        <source>the file ends before the mark that closes a thorough scan&apos;s snapshot</source>
        <translation>die Datei endet vor der Marke, die den Schnappschuss einer gründlichen Suche abschließt</translation>
    </message>
    <message>
        <source>the file ends inside the volume description</source>
        <translation>die Datei endet innerhalb der Volume-Beschreibung</translation>
    </message>
    <message>
        <source>the device path is %1 characters long (at most %2)</source>
        <translation>der Gerätepfad ist %1 Zeichen lang (höchstens %2)</translation>
    </message>
    <message>
        <source>the volume label is %1 characters long (at most %2)</source>
        <translation>die Volumebezeichnung ist %1 Zeichen lang (höchstens %2)</translation>
    </message>
    <message>
        <source>the file ends inside the volume label</source>
        <translation>die Datei endet innerhalb der Volumebezeichnung</translation>
    </message>
    <message>
        <source>the file ends inside the geometry block</source>
        <translation>die Datei endet innerhalb des Geometrieblocks</translation>
    </message>
    <message>
        <source>The snapshot is damaged: %1 (at byte %2)</source>
        <translation>Der Schnappschuss ist beschädigt: %1 (bei Byte %2)</translation>
    </message>
</context>
<context>
    <name>sarvik::app::Wording</name>
    <message>
        <source>%1: %2 of %3</source>
        <translation>%1: %2 von %3</translation>
    </message>
    <message>
        <source>%1, %2 left</source>
        <translation>%1, noch %2</translation>
    </message>
    <message>
        <source>1 byte</source>
        <translation>1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 Std.</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 Std. %2 min</translation>
    </message>
    <message>
        <source>Creating Directory Tree</source>
        <translation>Verzeichnisbaum wird erstellt</translation>
    </message>
    <message>
        <source>Searching For Lost Data</source>
        <translation>Verlorene Daten werden gesucht</translation>
    </message>
    <message>
        <source>Looking for orphaned folders</source>
        <translation>Verwaiste Ordner werden gesucht</translation>
    </message>
    <message>
        <source>Reading the root folder</source>
        <translation>Stammordner wird gelesen</translation>
    </message>
    <message>
        <source>Reading folders</source>
        <translation>Ordner werden gelesen</translation>
    </message>
    <message>
        <source>Placing lost folders</source>
        <translation>Verlorene Ordner werden eingeordnet</translation>
    </message>
    <message>
        <source>Reading MFT records</source>
        <translation>MFT-Datensätze werden gelesen</translation>
    </message>
    <message>
        <source>Reading %1\%2</source>
        <translation>Lese %1\%2</translation>
    </message>
    <message>
        <source>Reading MFT records found in free space</source>
        <translation>Im freien Speicher gefundene MFT-Datensätze werden gelesen</translation>
    </message>
    <message>
        <source>Searching free space</source>
        <translation>Freier Speicher wird durchsucht</translation>
    </message>
    <message>
        <source>Searching free clusters for files</source>
        <translation>Freie Cluster werden nach Dateien durchsucht</translation>
    </message>
    <message>
        <source>Searching for lost volumes</source>
        <translation>Verlorene Volumes werden gesucht</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>1 more folder</source>
        <translation>1 weiterer Ordner</translation>
    </message>
    <message>
        <source>%1 more folders</source>
        <translation>%1 weitere Ordner</translation>
    </message>
    <message>
        <source>1 more file</source>
        <translation>1 weitere Datei</translation>
    </message>
    <message>
        <source>%1 more files</source>
        <translation>%1 weitere Dateien</translation>
    </message>
    <message>
        <source>Deep search stopped before it found anything more.</source>
        <translation>Die Tiefensuche wurde angehalten, bevor sie weitere Daten fand.</translation>
    </message>
    <message>
        <source>Deep search found nothing more in the free space.</source>
        <translation>Die Tiefensuche hat im freien Speicher nichts weiter gefunden.</translation>
    </message>
    <message>
        <source>Deep search stopped; what it found before is listed: %1.</source>
        <translation>Die Tiefensuche wurde angehalten; was sie bis dahin fand, ist aufgeführt: %1.</translation>
    </message>
    <message>
        <source>Deep search found %1.</source>
        <translation>Die Tiefensuche hat %1 gefunden.</translation>
    </message>
    <message>
        <source>%1 sector(s) could not be read.</source>
        <translation>%1 Sektor(en) konnten nicht gelesen werden.</translation>
    </message>
    <message>
        <source>%1 MFT record(s) of a lost MFT are not listed: their attributes continue in records that can no longer be followed.</source>
        <translation>%1 MFT-Datensätze einer verlorenen MFT sind nicht aufgeführt: ihre Attribute setzen sich in Datensätzen fort, die nicht mehr verfolgt werden können.</translation>
    </message>
    <message>
        <source>Deep search stopped before it reached the free space; the list is as the scan left it.</source>
        <translation>Die Tiefensuche wurde angehalten, bevor sie den freien Speicher erreichte; die Liste bleibt, wie die Suche sie hinterlassen hat.</translation>
    </message>
    <message>
        <source>Deep search found less than the list holds (has the volume changed?); the list is as the scan left it.</source>
        <translation>Die Tiefensuche hat weniger gefunden, als die Liste enthält (hat sich das Volume geändert?); die Liste bleibt, wie die Suche sie hinterlassen hat.</translation>
    </message>
    <message>
        <source>%1 of %2 files copied; stopped.</source>
        <translation>%1 von %2 Dateien kopiert; angehalten.</translation>
    </message>
    <message>
        <source>%1 of %2 files copied.</source>
        <translation>%1 von %2 Dateien kopiert.</translation>
    </message>
    <message>
        <source>%1 file(s) were written whole to %2.</source>
        <translation>%1 Datei(en) vollständig nach %2 geschrieben.</translation>
    </message>
    <message>
        <source>%1 file(s) or folder(s) in %2 did not come back whole: %3 cut short, %4 incomplete, %5 with unreadable blocks written as zeros, %6 not written, %7 folder(s) not created. %8 file(s) were written whole.</source>
        <translation>%1 Datei(en) oder Ordner in %2 sind nicht vollständig zurückgekommen: %3 abgebrochen, %4 unvollständig, %5 mit unlesbaren Blöcken als Nullen geschrieben, %6 nicht geschrieben, %7 Ordner nicht angelegt. %8 Datei(en) wurden vollständig geschrieben.</translation>
    </message>
    <message>
        <source>%1 file(s) were written from clusters now in use: they may hold another file&apos;s data.</source>
        <translation>%1 Datei(en) wurden aus Clustern geschrieben, die inzwischen belegt sind: sie können Daten einer anderen Datei enthalten.</translation>
    </message>
    <message>
        <source>Not written on purpose: %1 with no data to write, %2 left out by the file filters, %3 skipped because the name existed.</source>
        <translation>Absichtlich nicht geschrieben: %1 ohne zu schreibende Daten, %2 durch die Dateifilter ausgelassen, %3 übersprungen, weil der Name schon existierte.</translation>
    </message>
</context>
<context>
    <name>sarvik::ui::Skin</name>
    <message>
        <source>Recover</source>
        <translation>Wiederherst.</translation>
    </message>
    <message>
        <source>Recover All</source>
        <translation>Alle wiederh.</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Laden</translation>
    </message>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Deep Search</source>
        <translation>Tiefensuche</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
</context>
</TS>
