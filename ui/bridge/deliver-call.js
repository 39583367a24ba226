// The body of the function the host runs in the movie's page for each call of
// a movie function; `xml` holds the call's invoke message. Its value is the
// movie's answer.
return window.lumireel.receive(xml);
