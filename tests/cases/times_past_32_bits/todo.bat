cc edge
link
