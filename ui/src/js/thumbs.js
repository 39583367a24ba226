// The photos' images as the movie shows them. A file's identity is its place
// (album, folder, kind, file name), the size its photo list records and how
// often the movie has had it rewritten (an edit, a folder edit, a deleted
// photo whose number comes back); the identity is part of the image's
// address, so an edited photo is shown from its new file, never from an old
// copy in the browser's cache.
//
// Previews are loaded once: the loaded <img> elements are kept (up to
// LIMIT, the least recently shown going first) and put back into the grid
// whenever their photo comes into view, so redrawing or scrolling the grid
// fetches nothing that is already there.
'use strict';

(function (LR) {
  const LIMIT = 6000;
  // Addresses are unique to this run of the movie: a file edited in an
  // earlier run is never taken from a cache of the browser's.
  const RUN = Date.now().toString(36);
  const rewrites = new Map();  // "album/part" and "album/part/id" -> how often rewritten
  const images = new Map();    // address -> <img>, in the order last shown

  const count = (key) => rewrites.get(key) || 0;

  function identity(albumId, photo) {
    const place = albumId + '/' + photo.part;
    return [RUN, photo.w + 'x' + photo.h, count(place), count(place + '/' + photo.id)].join('.');
  }

  // The address of the photo's `kind` image ('preview' or 'big').
  function url(albumId, photo, kind) {
    return LR.workspaceUrl(['MyAlbums', albumId, 'photoparts', photo.part, kind, photo.file],
      identity(albumId, photo));
  }

  // The preview <img> of a photo: the one already loaded, or a new one.
  function preview(albumId, photo) {
    const address = url(albumId, photo, 'preview');
    let img = images.get(address);
    if (img) {
      images.delete(address);
    } else {
      // The photo's cell is what a drag takes, not its picture.
      img = LR.make('img', { src: address, alt: '', decoding: 'async', draggable: 'false' });
      while (images.size >= LIMIT) images.delete(images.keys().next().value);
    }
    images.set(address, img);
    img.alt = LR.app.captionOf(photo);
    return img;
  }

  // The movie had the files of one photo rewritten, or taken away.
  function photoChanged(albumId, part, id) {
    const key = albumId + '/' + part + '/' + id;
    rewrites.set(key, count(key) + 1);
  }

  // ... or those of every photo of a folder.
  function folderChanged(albumId, part) {
    const key = albumId + '/' + part;
    rewrites.set(key, count(key) + 1);
  }

  LR.thumbs = { url, preview, photoChanged, folderChanged, loaded: () => images.size };
})(window.LR);
