<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>MainWindow</name>
    <message>
        <source>&amp;new</source>
        <translation>&amp;neu</translation>
    </message>
    <message>
        <source>New card</source>
        <translation>Neue Karte</translation>
    </message>
    <message>
        <source>send &amp;greetings to friend</source>
        <translation>&amp;Grüße an Freund senden</translation>
    </message>
    <message>
        <source>Send the card to a friend</source>
        <translation>Die Karte an einen Freund senden</translation>
    </message>
    <message>
        <source>Save the card</source>
        <translation>Die Karte speichern</translation>
    </message>
    <message>
        <source>e&amp;xit</source>
        <translation>&amp;Ende</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>def +</source>
        <translation>def +</translation>
    </message>
    <message>
        <source>Apply the effect to the card again</source>
        <translation>Den Effekt noch einmal auf die Karte anwenden</translation>
    </message>
    <message>
        <source>Next colour mode</source>
        <translation>Nächster Farbmodus</translation>
    </message>
    <message>
        <source>new palette</source>
        <translation>neue Palette</translation>
    </message>
    <message>
        <source>New palette strip</source>
        <translation>Neuer Palettenstreifen</translation>
    </message>
    <message>
        <source>More styles per card</source>
        <translation>Mehr Stile pro Karte</translation>
    </message>
    <message>
        <source>Most styles per card</source>
        <translation>Höchstzahl der Stile pro Karte</translation>
    </message>
    <message>
        <source>Fewer styles per card</source>
        <translation>Weniger Stile pro Karte</translation>
    </message>
    <message>
        <source>flip-hor</source>
        <translation>spieg-h</translation>
    </message>
    <message>
        <source>Mirror the card left to right</source>
        <translation>Die Karte von links nach rechts spiegeln</translation>
    </message>
    <message>
        <source>flip-ver</source>
        <translation>spieg-v</translation>
    </message>
    <message>
        <source>Mirror the card top to bottom</source>
        <translation>Die Karte von oben nach unten spiegeln</translation>
    </message>
    <message>
        <source>palette</source>
        <translation>Palette</translation>
    </message>
    <message>
        <source>Choose a palette</source>
        <translation>Eine Palette wählen</translation>
    </message>
    <message>
        <source>stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Stop the loop</source>
        <translation>Die Schleife anhalten</translation>
    </message>
    <message>
        <source>sav</source>
        <translation>arch</translation>
    </message>
    <message>
        <source>Save the archive copies</source>
        <translation>Die Archivkopien speichern</translation>
    </message>
    <message>
        <source>Effect drawn line by line or pixel by pixel</source>
        <translation>Effekt Zeile für Zeile oder Pixel für Pixel zeichnen</translation>
    </message>
    <message>
        <source>loop + save</source>
        <translation>Schleife + sp.</translation>
    </message>
    <message>
        <source>Make and save cards in a loop</source>
        <translation>Karten in einer Schleife machen und speichern</translation>
    </message>
    <message>
        <source>loop</source>
        <translation>Schleife</translation>
    </message>
    <message>
        <source>Make cards in a loop</source>
        <translation>Karten in einer Schleife machen</translation>
    </message>
    <message>
        <source>new img</source>
        <translation>neues Bild</translation>
    </message>
    <message>
        <source>New picture without names</source>
        <translation>Neues Bild ohne Namen</translation>
    </message>
    <message>
        <source>geometrijska slika</source>
        <translation>geometrisches Bild</translation>
    </message>
    <message>
        <source>Show or hide the picture before the effect</source>
        <translation>Das Bild vor dem Effekt zeigen oder verbergen</translation>
    </message>
    <message>
        <source>Asks for both names and the year, then makes their card</source>
        <translation>Fragt nach beiden Namen und dem Jahr und macht dann ihre Karte</translation>
    </message>
    <message>
        <source>Ends the program</source>
        <translation>Beendet das Programm</translation>
    </message>
    <message>
        <source>Runs the card through the effect once more</source>
        <translation>Schickt die Karte noch einmal durch den Effekt</translation>
    </message>
    <message>
        <source>Next colour mode: a fresh random palette for every card, or one of the 26 palettes</source>
        <translation>Nächster Farbmodus: eine neue zufällige Palette für jede Karte oder eine der 26 Paletten</translation>
    </message>
    <message>
        <source>Draws a new palette strip in the colour mode shown</source>
        <translation>Zeichnet einen neuen Palettenstreifen im angezeigten Farbmodus</translation>
    </message>
    <message>
        <source>Lets a card use one drawing style more</source>
        <translation>Erlaubt einer Karte einen Zeichenstil mehr</translation>
    </message>
    <message>
        <source>The most drawing styles a card may use</source>
        <translation>Die meisten Zeichenstile, die eine Karte verwenden darf</translation>
    </message>
    <message>
        <source>Lets a card use one drawing style fewer</source>
        <translation>Erlaubt einer Karte einen Zeichenstil weniger</translation>
    </message>
    <message>
        <source>Mirrors the card left to right</source>
        <translation>Spiegelt die Karte von links nach rechts</translation>
    </message>
    <message>
        <source>Mirrors the card top to bottom</source>
        <translation>Spiegelt die Karte von oben nach unten</translation>
    </message>
    <message>
        <source>Shows the 26 palettes on the card and asks which one to use</source>
        <translation>Zeigt die 26 Paletten auf der Karte und fragt, welche verwendet werden soll</translation>
    </message>
    <message>
        <source>Stops the card or the loop under way</source>
        <translation>Hält die laufende Karte oder Schleife an</translation>
    </message>
    <message>
        <source>Switches the effect between drawing line by line and pixel by pixel</source>
        <translation>Schaltet den Effekt zwischen Zeichnen Zeile für Zeile und Pixel für Pixel um</translation>
    </message>
    <message>
        <source>Makes pictures without names one after another and saves each, 50 at most</source>
        <translation>Macht Bilder ohne Namen nacheinander und speichert jedes, höchstens 50</translation>
    </message>
    <message>
        <source>Makes pictures without names one after another until you press stop</source>
        <translation>Macht Bilder ohne Namen nacheinander, bis du „Stopp“ drückst</translation>
    </message>
    <message>
        <source>Makes a new picture without names or greeting</source>
        <translation>Macht ein neues Bild ohne Namen und Gruß</translation>
    </message>
    <message>
        <source>Shows or hides the picture as it was before the effect</source>
        <translation>Zeigt oder verbirgt das Bild, wie es vor dem Effekt war</translation>
    </message>
    <message>
        <source>&amp;save</source>
        <translation>&amp;speichern</translation>
    </message>
</context>
<context>
    <name>mirelune::MainWindow</name>
    <message>
        <source>Picture before the effect</source>
        <translation>Bild vor dem Effekt</translation>
    </message>
    <message>
        <source>Copies the card to %1 and %2 where those folders exist</source>
        <translation>Kopiert die Karte nach %1 und %2, wo es diese Ordner gibt</translation>
    </message>
    <message>
        <source>&amp;Year:</source>
        <translation>&amp;Jahr:</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>The year the next card wishes a happy new year for</source>
        <translation>Das Jahr, für das die nächste Karte ein gutes neues Jahr wünscht</translation>
    </message>
    <message>
        <source>No card yet</source>
        <translation>Noch keine Karte</translation>
    </message>
    <message>
        <source>&amp;New Card…</source>
        <translation>&amp;Neue Karte …</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Save &amp;As…</source>
        <translation>Speichern &amp;unter …</translation>
    </message>
    <message>
        <source>Sen&amp;d…</source>
        <translation>Sen&amp;den …</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Print…</source>
        <translation>&amp;Drucken …</translation>
    </message>
    <message>
        <source>&amp;Open Folder</source>
        <translation>&amp;Ordner öffnen</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Keyboard Shortcuts</source>
        <translation>&amp;Tastenkürzel</translation>
    </message>
    <message>
        <source>&amp;About Mirelune</source>
        <translation>&amp;Über Mirelune</translation>
    </message>
    <message>
        <source>Shows the folder of the card saved last</source>
        <translation>Zeigt den Ordner der zuletzt gespeicherten Karte</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Card</source>
        <translation>&amp;Karte</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>%1 from %2 — Mirelune</source>
        <translation>%1 von %2 — Mirelune</translation>
    </message>
    <message>
        <source>Greeting card for %1 from %2</source>
        <translation>Grußkarte für %1 von %2</translation>
    </message>
    <message>
        <source>Picture without names</source>
        <translation>Bild ohne Namen</translation>
    </message>
    <message>
        <source>The command failed: %1</source>
        <translation>Der Befehl ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>Gespeichert: %1</translation>
    </message>
    <message>
        <source>Card not saved</source>
        <translation>Karte nicht gespeichert</translation>
    </message>
    <message>
        <source> and </source>
        <translation> und </translation>
    </message>
    <message>
        <source>Saved %1 (card %2 of %3)</source>
        <translation>Gespeichert: %1 (Karte %2 von %3)</translation>
    </message>
    <message>
        <source>Loop with saving stopped</source>
        <translation>Schleife mit Speichern angehalten</translation>
    </message>
    <message>
        <source>%1 from %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Save the Card As</source>
        <translation>Karte speichern unter</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG-Bild (*.png)</translation>
    </message>
    <message>
        <source>JPEG image (*.jpg *.jpeg)</source>
        <translation>JPEG-Bild (*.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>BMP image (*.bmp)</source>
        <translation>BMP-Bild (*.bmp)</translation>
    </message>
    <message>
        <source>The card is on the clipboard.</source>
        <translation>Die Karte ist in der Zwischenablage.</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>&lt;p&gt;The buttons answer to Alt and their underlined letter, Tab moves between them and Enter or Space presses the one in focus.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Die Knöpfe reagieren auf Alt und ihren unterstrichenen Buchstaben, Tab wechselt zwischen ihnen, und Eingabe oder Leertaste drückt den Knopf im Fokus.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>About Mirelune</source>
        <translation>Über Mirelune</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Mirelune %1&lt;/h3&gt;&lt;p&gt;Generative-art new-year greeting cards from two names.&lt;/p&gt;&lt;p&gt;Released under the MIT licence.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;https://mirelune.art&quot;&gt;mirelune.art&lt;/a&gt;&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Mirelune %1&lt;/h3&gt;&lt;p&gt;Generative Neujahrsgrußkarten aus zwei Namen.&lt;/p&gt;&lt;p&gt;Veröffentlicht unter der MIT-Lizenz.&lt;/p&gt;&lt;p&gt;&lt;a href=&quot;https://mirelune.art&quot;&gt;mirelune.art&lt;/a&gt;&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Greetings not sent</source>
        <translation>Grüße nicht gesendet</translation>
    </message>
    <message>
        <source>Sending the card to %1 …</source>
        <translation>Die Karte wird an %1 gesendet …</translation>
    </message>
    <message>
        <source>Greetings sent.</source>
        <translation>Grüße gesendet.</translation>
    </message>
    <message>
        <source>Quit Mirelune</source>
        <translation>Mirelune beenden</translation>
    </message>
    <message>
        <source>The card for %1 from %2 is not saved.</source>
        <translation>Die Karte für %1 von %2 ist nicht gespeichert.</translation>
    </message>
    <message>
        <source>The card is not saved.</source>
        <translation>Die Karte ist nicht gespeichert.</translation>
    </message>
    <message>
        <source>Quit and lose it?</source>
        <translation>Beenden und sie verlieren?</translation>
    </message>
    <message>
        <source>&amp;Save As…</source>
        <translation>&amp;Speichern unter …</translation>
    </message>
    <message>
        <source>&amp;Quit without Saving</source>
        <translation>&amp;Beenden ohne Speichern</translation>
    </message>
    <message>
        <source>Card under way</source>
        <translation>Karte in Arbeit</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Anhalten</translation>
    </message>
    <message>
        <source>Nothing was sent; the card is saved as %1.</source>
        <translation>Nichts gesendet; die Karte ist als %1 gespeichert.</translation>
    </message>
    <message>
        <source>Saves the card in %1 (Ctrl+S); Save As chooses the place and the format</source>
        <translation>Speichert die Karte in %1 (Strg+S); „Speichern unter“ wählt Ort und Format</translation>
    </message>
    <message>
        <source>Saves the card in %1 and opens a message with it in your mail program</source>
        <translation>Speichert die Karte in %1 und öffnet damit eine Nachricht in deinem E-Mail-Programm</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;new&quot;&gt;Make a card for…&lt;/a&gt; a friend: both names and the year</source>
        <translation>&lt;a href=&quot;new&quot;&gt;Mach eine Karte für …&lt;/a&gt; einen Freund: beide Namen und das Jahr</translation>
    </message>
    <message>
        <source>Press New to make a card; a sample card is shown.</source>
        <translation>Drücke „neu“, um eine Karte zu machen; eine Beispielkarte wird gezeigt.</translation>
    </message>
    <message>
        <source>&amp;Open…</source>
        <translation>&amp;Öffnen …</translation>
    </message>
    <message>
        <source>Saves the card in %1</source>
        <translation>Speichert die Karte in %1</translation>
    </message>
    <message>
        <source>Makes again the card a PNG or JPEG card file was made from</source>
        <translation>Macht die Karte, aus der eine PNG- oder JPEG-Kartendatei entstand, noch einmal</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>&amp;Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>New Card</source>
        <translation>Neue Karte</translation>
    </message>
    <message>
        <source>&amp;Friend&apos;s name:</source>
        <translation>Name des &amp;Freundes:</translation>
    </message>
    <message>
        <source>&amp;Make the Card</source>
        <translation>Karte &amp;machen</translation>
    </message>
    <message>
        <source>Open a Card</source>
        <translation>Eine Karte öffnen</translation>
    </message>
    <message>
        <source>Cards (*.png *.jpg *.jpeg)</source>
        <translation>Karten (*.png *.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>Card not opened</source>
        <translation>Karte nicht geöffnet</translation>
    </message>
    <message>
        <source>Making the card of %1 again …</source>
        <translation>Die Karte von %1 wird noch einmal gemacht …</translation>
    </message>
    <message>
        <source>No cards yet</source>
        <translation>Noch keine Karten</translation>
    </message>
    <message>
        <source>Your &amp;name:</source>
        <translation>&amp;Dein Name:</translation>
    </message>
    <message>
        <source>Own &amp;Words…</source>
        <translation>&amp;Eigene Worte …</translation>
    </message>
    <message>
        <source>Writes the greeting of the card shown in your own words, or in the usual ones</source>
        <translation>Schreibt den Gruß der gezeigten Karte mit deinen eigenen Worten oder mit den üblichen</translation>
    </message>
    <message>
        <source>Your own words in place of the middle of the greeting, in any script</source>
        <translation>Deine eigenen Worte statt der Mitte des Grußes, in jeder Schrift</translation>
    </message>
    <message>
        <source>Your own &amp;words (optional):</source>
        <translation>&amp;Eigene Worte (freiwillig):</translation>
    </message>
    <message>
        <source>Own Words</source>
        <translation>Eigene Worte</translation>
    </message>
    <message>
        <source>Your own words (optional), in place of the middle of the greeting:</source>
        <translation>Deine eigenen Worte (freiwillig) statt der Mitte des Grußes:</translation>
    </message>
    <message>
        <source>Print &amp;PDF…</source>
        <translation>&amp;Druck-PDF …</translation>
    </message>
    <message>
        <source>&amp;High-Resolution PNG…</source>
        <translation>PNG in &amp;hoher Auflösung …</translation>
    </message>
    <message>
        <source>Animated &amp;GIF…</source>
        <translation>Animiertes &amp;GIF …</translation>
    </message>
    <message>
        <source>Animated &amp;WebP…</source>
        <translation>Animiertes &amp;WebP …</translation>
    </message>
    <message>
        <source>Makes the card again as a page to print, on the paper you choose</source>
        <translation>Macht die Karte noch einmal als Seite zum Drucken, auf dem Papier deiner Wahl</translation>
    </message>
    <message>
        <source>Makes the card again three times larger, 2688 × 2013 pixels for 300 ppi</source>
        <translation>Macht die Karte noch einmal dreimal so groß, 2688 × 2013 Pixel für 300 ppi</translation>
    </message>
    <message>
        <source>Makes the card again painting itself, 450 pixels wide, for e-mail</source>
        <translation>Macht die Karte noch einmal, wie sie sich selbst malt, 450 Pixel breit, für E-Mails</translation>
    </message>
    <message>
        <source>Makes the card again painting itself, 450 pixels wide, lossless</source>
        <translation>Macht die Karte noch einmal, wie sie sich selbst malt, 450 Pixel breit, verlustfrei</translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation>&amp;Exportieren</translation>
    </message>
    <message>
        <source>Print PDF</source>
        <translation>Druck-PDF</translation>
    </message>
    <message>
        <source>A6 (148 × 105 mm)</source>
        <translation>A6 (148 × 105 mm)</translation>
    </message>
    <message>
        <source>5 × 7 in</source>
        <translation>5 × 7 Zoll</translation>
    </message>
    <message>
        <source>Half letter (8.5 × 5.5 in)</source>
        <translation>Half Letter (8,5 × 5,5 Zoll)</translation>
    </message>
    <message>
        <source>&amp;Crop marks</source>
        <translation>&amp;Schnittmarken</translation>
    </message>
    <message>
        <source>Marks in a white margin around the page, where to cut it</source>
        <translation>Marken in einem weißen Rand um die Seite, wo sie zu schneiden ist</translation>
    </message>
    <message>
        <source>&amp;Paper:</source>
        <translation>&amp;Papier:</translation>
    </message>
    <message>
        <source>PDF document (*.pdf)</source>
        <translation>PDF-Dokument (*.pdf)</translation>
    </message>
    <message>
        <source>GIF animation (*.gif)</source>
        <translation>GIF-Animation (*.gif)</translation>
    </message>
    <message>
        <source>WebP animation (*.webp)</source>
        <translation>WebP-Animation (*.webp)</translation>
    </message>
    <message>
        <source>Export the Card</source>
        <translation>Karte exportieren</translation>
    </message>
    <message>
        <source>Exporting %1 …</source>
        <translation>%1 wird exportiert …</translation>
    </message>
    <message>
        <source>Stopped; nothing was exported.</source>
        <translation>Angehalten; nichts wurde exportiert.</translation>
    </message>
</context>
</TS>
