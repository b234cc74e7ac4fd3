// Doubly linked list of fixed-size elements with its own (non-recursive) lock.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/rtkit.h"

struct adt_dlist_node {
    adt_dlist_node *prev;
    adt_dlist_node *next;
    // element bytes follow the node header
};

struct adt_dlist {
    size_t elem_size;
    int size;
    adt_dlist_node *head;
    adt_dlist_node *tail;
    std::mutex lock;
};

static void *node_data(adt_dlist_node *node) { return reinterpret_cast<char *>(node) + sizeof(adt_dlist_node); }

adt_dlist *adt_dlist_create(size_t elem_size)
{
    if (elem_size == 0) return nullptr;
    adt_dlist *list = new (std::nothrow) adt_dlist();
    if (!list) return nullptr;
    list->elem_size = elem_size;
    return list;
}

int adt_dlist_add(adt_dlist *list, int /*where*/, const void *elem)
{
    if (!list || !elem) return 0;
    auto *node = static_cast<adt_dlist_node *>(std::calloc(1, sizeof(adt_dlist_node) + list->elem_size));
    if (!node) return 0;
    std::memcpy(node_data(node), elem, list->elem_size);
    node->prev = list->tail;
    if (list->tail) list->tail->next = node; else list->head = node;
    list->tail = node;
    list->size++;
    return 1;
}

adt_dlist_node *adt_dlist_head(adt_dlist *list) { return list ? list->head : nullptr; }
adt_dlist_node *adt_dlist_next(adt_dlist_node *node) { return node ? node->next : nullptr; }
void *adt_dlist_getdata(adt_dlist_node *node) { return node ? node_data(node) : nullptr; }
int adt_dlist_size(adt_dlist *list) { return list ? list->size : 0; }

adt_dlist_node *adt_dlist_delete_ex(adt_dlist *list, adt_dlist_node *node)
{
    if (!list || !node) return nullptr;
    adt_dlist_node *following = node->next;
    if (node->prev) node->prev->next = node->next; else list->head = node->next;
    if (node->next) node->next->prev = node->prev; else list->tail = node->prev;
    list->size--;
    std::free(node);
    return following;
}

void adt_dlist_delete(adt_dlist *list, adt_dlist_node *node) { (void)adt_dlist_delete_ex(list, node); }

void adt_dlist_destroy(adt_dlist *list)
{
    if (!list) return;
    adt_dlist_node *node = list->head;
    while (node) {
        adt_dlist_node *following = node->next;
        std::free(node);
        node = following;
    }
    delete list;
}

void adt_dlist_lock(adt_dlist *list) { if (list) list->lock.lock(); }
void adt_dlist_unlock(adt_dlist *list) { if (list) list->lock.unlock(); }
